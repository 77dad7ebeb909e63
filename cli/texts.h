// Every text the program prints, in one place.
#pragma once

namespace karv::text {

inline constexpr const wchar_t* kProgramVersion = L"v0.430";
inline constexpr const wchar_t* kGameConfigFile = L"游戏信息.txt";
// Any buffer the program itself allocates (export, import, merge).
inline constexpr const wchar_t* kOutOfMemory = L"分配内存失败，可能是内存不足！\n";

// Command line
inline constexpr const wchar_t* kBadDataMode = L"参数：数据模式 错误！\n";
inline constexpr const wchar_t* kLoadFileFailed = L"加载文件失败！\n";
inline constexpr const wchar_t* kNotCompressedFile = L"指定的文件不是压缩文件！\n";
inline constexpr const wchar_t* kDecompressFailedBecause = L"解压文件失败！原因：";
inline constexpr const wchar_t* kDecompressDone = L"解压文件成功！\n";
inline constexpr const wchar_t* kCompressFailedBecause = L"压缩文件失败！原因：";
inline constexpr const wchar_t* kCompressDone = L"压缩文件成功！\n";

// Texture commands "ET" and "IT"
inline constexpr const wchar_t* kTextureCountZero = L"贴图数量为零！";
// "贴图 00003_000012 导出成功！\n" / "贴图 00003_000012 导出失败！" + the library's message
inline constexpr const wchar_t* kTextureLinePrefix = L"贴图 ";
inline constexpr const wchar_t* kTextureExported = L" 导出成功！\n";
inline constexpr const wchar_t* kTextureExportFailed = L" 导出失败！";
inline constexpr const wchar_t* kTextureExportFailedBecause = L"导出贴图失败！原因：";
inline constexpr const wchar_t* kTextureExportDone = L"贴图导出完毕！\n";
inline constexpr const wchar_t* kNotTextureFile = L"指定的文件不是贴图文件！\n";
inline constexpr const wchar_t* kLoadDataFileFailed = L"加载 DATA 文件失败！\n";
inline constexpr const wchar_t* kNoFilesToImport = L"未找到可以导入的文件！\n";
inline constexpr const wchar_t* kBadDdsName = L"无法识别 DDS 文件名！\n";
inline constexpr const wchar_t* kLoadDdsFailed = L"加载 DDS 文件失败！\n";
inline constexpr const wchar_t* kInnerFileNotTexture =
    L"指定的二重封包文件中的文件不是贴图文件！\n";
inline constexpr const wchar_t* kBlobInfoFailed = L"获取封包信息失败！\n";
// "导入 " + DDS file name + " 文件失败！原因：" + the library's message
inline constexpr const wchar_t* kImportLinePrefix = L"导入 ";
inline constexpr const wchar_t* kImportFileFailedBecause = L" 文件失败！原因：";
inline constexpr const wchar_t* kSaveDataFileFailedBecause = L"保存 DATA 文件失败！原因：";
inline constexpr const wchar_t* kTextureImportDone = L"贴图导入完毕！\n";
inline constexpr const wchar_t* kTextureImportFailed = L"导入贴图失败！\n";
inline constexpr const wchar_t* kTextureImportFailedBecause = L"导入贴图失败！原因：";

// Packed-blob split "SD" and merge "MD"
// "文件 " + sub-file path + " 拆分成功！\n" / " 拆分失败！原因：" + the library's message
inline constexpr const wchar_t* kSplitLinePrefix = L"文件 ";
inline constexpr const wchar_t* kSubFileSplit = L" 拆分成功！\n";
inline constexpr const wchar_t* kSubFileSplitFailedBecause = L" 拆分失败！原因：";
inline constexpr const wchar_t* kTooManySubFiles = L"文件数量太多，可能不是封包文件！\n";
inline constexpr const wchar_t* kSplitDone = L"文件拆分完毕！\n";
inline constexpr const wchar_t* kSplitDonePartly = L"文件拆分完毕！但是部分文件未能保存！\n";
inline constexpr const wchar_t* kNothingSplit = L"未拆分出任何文件！\n";
inline constexpr const wchar_t* kNoFilesToMerge = L"未找到可以合并的文件！\n";
inline constexpr const wchar_t* kNoMergeName = L"无法从文件夹路径得到合并文件名！\n";
inline constexpr const wchar_t* kMergeTooLarge = L"要合并的文件总大小超过 4GB！\n";
inline constexpr const wchar_t* kMergeFileChanged = L"要合并的文件在合并过程中被修改了！\n";
inline constexpr const wchar_t* kMergeFailed = L"文件合并失败！\n";
inline constexpr const wchar_t* kMergeFailedBecause = L"文件合并失败！原因：";
inline constexpr const wchar_t* kMergeDone = L"文件合并完毕！\n";

// Game configuration file: keys in the order they are converted and written back
inline constexpr const wchar_t* kConfigKeyLocation = L"Voxbank 位置";
inline constexpr const wchar_t* kConfigKeyDataMode = L"数据模式";
inline constexpr const wchar_t* kConfigKeyDataType = L"Voxbank 类型";
inline constexpr const wchar_t* kConfigKeyIdxCount = L"IDX 文件数量";
inline constexpr const wchar_t* kConfigKeyIdxNames = L"IDX 文件名";
inline constexpr const wchar_t* kConfigKeyVoxbankCount = L"Voxbank 数量";
inline constexpr const wchar_t* kConfigKeyVoxbankNames = L"Voxbank 文件名";
inline constexpr const wchar_t* kConfigKeySplitAddresses = L"Voxbank 地址";
inline constexpr const wchar_t* kConfigKeyExportPath = L"导出路径";
inline constexpr const wchar_t* kConfigKeyImportPath = L"导入路径";
inline constexpr const wchar_t* kConfigDataModePs3 = L"PS3";
inline constexpr const wchar_t* kConfigDefaultExportPath = L"Extracted";
inline constexpr const wchar_t* kConfigDefaultImportPath = L"Import";

// File suffixes
inline constexpr const wchar_t* kDecompressedSuffix = L".udata";
inline constexpr const wchar_t* kCompressedSuffix = L".cdata";
inline constexpr const wchar_t* kMergedSuffix = L".mdata";
inline constexpr const wchar_t* kSubFileSuffix = L".data";
inline constexpr const wchar_t* kDdsSuffix = L".dds";
// The folder beside a file whose name has no stem of its own ("blob", ".blob").
inline constexpr const wchar_t* kOutputFolderSuffix = L"_files";

// Interactive menus and the split-information update
inline constexpr const wchar_t* kBannerTitle = L"Orvane系列 VOXBANK 导入&导出工具\n";
inline constexpr const wchar_t* kBannerVersion = L"版本：";
inline constexpr const wchar_t* kBannerAuthor = L" By Tamsk\n\n\n";
inline constexpr const wchar_t* kMenuSeparator =
    L"=============================================================\n";
inline constexpr const wchar_t* kMenuItemDot = L". ";
inline constexpr const wchar_t* kMenuQuit = L"0. 退出\n";
inline constexpr const wchar_t* kMenuBack = L"0. 返回上一级菜单\n";
inline constexpr const wchar_t* kChooseGame = L"请选择要操作的游戏：";
inline constexpr const wchar_t* kChooseFile = L"请选择要操作的文件：";
inline constexpr const wchar_t* kChooseOperation = L"请选择要执行的操作：";
inline constexpr const wchar_t* kCurrentGame = L"正在操作的游戏：";
inline constexpr const wchar_t* kCurrentFile = L"正在操作的文件：";
inline constexpr const wchar_t* kOperationItems =
    L"1. 导出数据\n2. 导入数据\n3. 备份数据\n4. 恢复数据\n";
inline constexpr const wchar_t* kSplitInfoItem = L"5. 更新 Voxbank 文件的切分信息\n";
inline constexpr const wchar_t* kNoLocationOrArchive = L"未指定游戏的路径或 Voxbank 文件名\n";
inline constexpr const wchar_t* kNoIndexName = L"未指定游戏的 IDX 文件名\n";
inline constexpr const wchar_t* kTooManyArchiveFiles =
    L"Voxbank 文件数量超过 10 个，无法操作该游戏！\n";
inline constexpr const wchar_t* kSplitInfoQuestion =
    L"未指定 Voxbank 文件的切分信息，要立刻更新该信息吗？\n";
inline constexpr const wchar_t* kSplitInfoChoices = L"1. 更新\n0. 返回上一级菜单\n";
inline constexpr const wchar_t* kExportFirstPrompt = L"请输入需要提取的文件起始序号：";
inline constexpr const wchar_t* kExportLastPrompt = L"请输入需要提取的文件终止序号：";
inline constexpr const wchar_t* kTextureQuestion = L"是否一并提取 data 文件中的 dds 贴图\n";
inline constexpr const wchar_t* kTextureChoices = L"1. 提取\n2. 不提取\n0. 返回上一级菜单\n";
inline constexpr const wchar_t* kNoBackupQuestion =
    L"未找到备份文件，是否立即备份？（不备份无法导入！）\n";
inline constexpr const wchar_t* kBackupExistsQuestion = L"已存在备份文件，是否覆盖？\n";
inline constexpr const wchar_t* kBackupQuestion = L"该操作将会生成备份文件，是否立即备份？\n";
inline constexpr const wchar_t* kBackupNotice = L"注意：在备份前请尽可能确保游戏数据未修改过！\n";
inline constexpr const wchar_t* kBackupChoices = L"1. 备份\n0. 返回上一级菜单\n";
inline constexpr const wchar_t* kOverwriteChoices = L"1. 覆盖\n0. 返回上一级菜单\n";
inline constexpr const wchar_t* kBackupFailedBecause = L"备份数据失败！原因：";
inline constexpr const wchar_t* kBackupDone = L"备份数据成功！\n";
inline constexpr const wchar_t* kRestoreQuestion =
    L"该操作会将 VOXBANK 恢复至备份时的状态，是否继续？\n";
inline constexpr const wchar_t* kRestoreNotice = L"注意：该操作不可逆！恢复前请想清楚！\n";
inline constexpr const wchar_t* kRestoreChoices = L"1. 恢复\n0. 返回上一级菜单\n";
inline constexpr const wchar_t* kRestoreFailedBecause = L"恢复数据失败！原因：";
inline constexpr const wchar_t* kRestoreDone = L"恢复数据成功！\n";
inline constexpr const wchar_t* kSplitInfoUpdated = L"更新 Voxbank 文件的切分信息成功！\n";
inline constexpr const wchar_t* kSplitInfoUpdateFailed = L"更新 Voxbank 文件的切分信息失败！\n";

// Archive export and import
// "文件“" + path + "”不存在！\n"
inline constexpr const wchar_t* kFileQuoteOpen = L"文件“";
inline constexpr const wchar_t* kFileMissingClose = L"”不存在！\n";
inline constexpr const wchar_t* kOpenFileFailedLine = L"打开文件失败！\n";
inline constexpr const wchar_t* kReadFileFailedLine = L"读取文件出错！\n";
inline constexpr const wchar_t* kOpenVoxbankFailedLine = L"打开 VOXBANK 文件失败！\n";
inline constexpr const wchar_t* kTexturesFolder = L"Textures";
inline constexpr const wchar_t* kCreateFileFailedLine = L"创建文件失败！\n";
// "从 " + archive file + " 中导出文件 " + member file + " 成功！\n"
inline constexpr const wchar_t* kExportLineFrom = L"从 ";
inline constexpr const wchar_t* kExportLineMember = L" 中导出文件 ";
inline constexpr const wchar_t* kLineSucceeded = L" 成功！\n";
// "写入文件“" + path + "”出错！\n"
inline constexpr const wchar_t* kWriteFileQuoteOpen = L"写入文件“";
inline constexpr const wchar_t* kWriteFileFailedClose = L"”出错！\n";
inline constexpr const wchar_t* kImportDirMissing = L"导入目录不存在！\n";
inline constexpr const wchar_t* kLoadRecordFailed = L"加载记录文件失败！\n";
inline constexpr const wchar_t* kLoadIdxFailed = L"加载 IDX 文件失败！\n";
inline constexpr const wchar_t* kImportBadDataType = L"错误的游戏数据类型，无法导入！\n";
inline constexpr const wchar_t* kImportOffsetUnitZero = L"Index 中的偏移单位为零，无法导入！\n";
inline constexpr const wchar_t* kImportChangedSinceBackup =
    L"游戏文件在备份后已被其他程序修改（例如游戏更新），请先重新备份再导入！\n";
inline constexpr const wchar_t* kSkipUnusedLine = L"跳过未使用的文件！\n";
// Import file name + one of these
inline constexpr const wchar_t* kImportEntryBeyondIndex =
    L" 文件的编号超出了 Index 文件的范围，已跳过！\n";
inline constexpr const wchar_t* kImportFileEmpty = L" 文件为空，已跳过！\n";
inline constexpr const wchar_t* kImportFileTooLarge = L" 文件过大，已跳过！\n";
inline constexpr const wchar_t* kImportSizeUnrecordable =
    L" 文件的大小无法记录到 Index 文件中，已跳过！\n";
inline constexpr const wchar_t* kImportFileOpenFailed = L" 文件打开失败！\n";
inline constexpr const wchar_t* kImportFileReadFailed = L" 文件读取出错！\n";
inline constexpr const wchar_t* kImportCompressFailedBecause = L" 文件压缩失败！原因：";
inline constexpr const wchar_t* kChunkSizeUnreadable = L"读取压缩参数失败！将使用默认参数\n";
// "向 " + archive path + " 中导入压缩文件 " + import file name + " 成功！\n", and the others
inline constexpr const wchar_t* kImportLineTo = L"向 ";
inline constexpr const wchar_t* kImportedCompressedInPlace = L" 中导入压缩文件 ";
inline constexpr const wchar_t* kImportedCompressedAppended = L" 中添加压缩文件 ";
inline constexpr const wchar_t* kImportedRawInPlace = L" 中导入未压缩文件 ";
inline constexpr const wchar_t* kImportedRawAppended = L" 中添加未压缩文件 ";
// "导入 " + import file name + " 时写入文件“" + path + "”出错！\n" (or "时打开文件“ ... ”失败！")
inline constexpr const wchar_t* kImportWhilePrefix = L"导入 ";
inline constexpr const wchar_t* kImportWhileWriting = L" 时写入文件“";
inline constexpr const wchar_t* kImportWhileOpening = L" 时打开文件“";
inline constexpr const wchar_t* kQuotedFailedClose = L"”失败！\n";

// Archive commands (LIST, VERIFY, EXPORT, IMPORT, BACKUP, RESTORE, SPLITINFO)
// A wrong command line: "参数错误：" + what is wrong, then the usage line.
inline constexpr const wchar_t* kCommandWrong = L"参数错误：";
inline constexpr const wchar_t* kCommandMissingGame = L"缺少游戏的编号或名称！\n";
// "未知的选项“--x”！\n"; "选项“--x”不能用于 LIST！\n"; "选项“--x”重复了！\n";
// "选项“--first”后缺少数字！\n"
inline constexpr const wchar_t* kCommandUnknownOption = L"未知的选项“";
inline constexpr const wchar_t* kCommandOption = L"选项“";
inline constexpr const wchar_t* kCommandNotFor = L"”不能用于 ";
inline constexpr const wchar_t* kCommandTwice = L"”重复了！\n";
inline constexpr const wchar_t* kCommandMissingNumber = L"”后缺少数字！\n";
inline constexpr const wchar_t* kCommandMissingValue = L"”后缺少内容！\n";
inline constexpr const wchar_t* kCommandMissingFolder = L"缺少 MOD 文件夹！\n";
inline constexpr const wchar_t* kCommandMissingModName = L"缺少 MOD 名称！\n";
// "“abc”不是有效的数字！\n"; "多余的参数“x”！\n"; "未找到游戏“x”！\n"; "游戏中没有文件“x”！\n"
inline constexpr const wchar_t* kCommandQuoteOpen = L"“";
inline constexpr const wchar_t* kCommandBadNumber = L"”不是有效的数字！\n";
inline constexpr const wchar_t* kCommandExtraWord = L"多余的参数“";
inline constexpr const wchar_t* kCommandUnknownGame = L"未找到游戏“";
inline constexpr const wchar_t* kCommandUnknownFile = L"游戏中没有文件“";
inline constexpr const wchar_t* kCommandQuoteClose = L"”！\n";
inline constexpr const wchar_t* kCommandLineEnd = L"！\n";
inline constexpr const wchar_t* kCommandFileFor357 =
    L"357 类型的游戏只有一个档案，不能指定文件！\n";
inline constexpr const wchar_t* kCommandNoSplitInfo =
    L"该游戏不是由多个 Voxbank 文件组成的 357 游戏，没有切分信息！\n";
inline constexpr const wchar_t* kUsagePrefix = L"用法：karvex PC|PS3 ";
inline constexpr const wchar_t* kUsageList = L"LIST 游戏 [文件] [--json]\n";
inline constexpr const wchar_t* kUsageVerify = L"VERIFY 游戏 [文件] [--json]\n";
inline constexpr const wchar_t* kUsageExport =
    L"EXPORT 游戏 [文件] [--first 起始序号] [--last 终止序号] [--textures] [--dry-run]\n";
inline constexpr const wchar_t* kUsageImport = L"IMPORT 游戏 [文件] [--backup] [--dry-run]\n";
inline constexpr const wchar_t* kUsageBackup = L"BACKUP 游戏 [文件] [--force]\n";
inline constexpr const wchar_t* kUsageRestore = L"RESTORE 游戏 [文件]\n";
inline constexpr const wchar_t* kUsageSplitInfo = L"SPLITINFO 游戏\n";
inline constexpr const wchar_t* kUsageModMake = L"MODMAKE 游戏 MOD文件夹 [--name MOD名称]\n";
inline constexpr const wchar_t* kUsageModAdd = L"MODADD 游戏 MOD文件夹... [--over] [--backup]\n";
inline constexpr const wchar_t* kUsageModDel = L"MODDEL 游戏 MOD名称\n";
inline constexpr const wchar_t* kUsageMods = L"MODS 游戏 [--json]\n";
inline constexpr const wchar_t* kUsageModReapply = L"MODREAPPLY 游戏\n";
// Refusals of a command
// "加载游戏信息文件“游戏信息.txt”失败！\n"
inline constexpr const wchar_t* kCommandConfigUnreadable = L"加载游戏信息文件“";
inline constexpr const wchar_t* kCommandNeedsSplitInfo =
    L"未指定 Voxbank 文件的切分信息，请先用 SPLITINFO 更新该信息！\n";
inline constexpr const wchar_t* kCommandImportNeedsBackup =
    L"未找到备份文件，不备份无法导入！请先用 BACKUP 备份，或加上 --backup 选项！\n";
inline constexpr const wchar_t* kCommandBackupExists =
    L"已存在备份文件！要覆盖它请加上 --force 选项！\n";

// LIST
inline constexpr const wchar_t* kListHeader =
    L"序号\t文件\t偏移\t存储大小\t大小\t存储方式\t内容\t已导入\n";
// "文件 a.bin：221184 字节，备份时 200704 字节\n" / "...字节，没有备份\n"
inline constexpr const wchar_t* kListFileLine = L"文件 ";
inline constexpr const wchar_t* kListFileSize = L"：";
inline constexpr const wchar_t* kListBytes = L" 字节";
inline constexpr const wchar_t* kListBackupSize = L"，备份时 ";
inline constexpr const wchar_t* kListNoBackup = L"，没有备份\n";
inline constexpr const wchar_t* kListFileUnmeasured = L"：无法获取文件大小";
inline constexpr const wchar_t* kListNone = L"-";
inline constexpr const wchar_t* kListRaw = L"未压缩";
inline constexpr const wchar_t* kListUnused = L"未使用";
inline constexpr const wchar_t* kListYes = L"是";
inline constexpr const wchar_t* kListNo = L"否";
// "G1T 贴图 2 张：DXT1 256x256 9 级，DXT5 128x128 1 级"; "封包 3 个文件，贴图：..."; "数据
// 47543147"; "已损坏：" + the library's message
inline constexpr const wchar_t* kListTexture = L"G1T 贴图 ";
inline constexpr const wchar_t* kListTextureCount = L" 张";
inline constexpr const wchar_t* kListBlob = L"封包 ";
inline constexpr const wchar_t* kListBlobCount = L" 个文件";
inline constexpr const wchar_t* kListBlobTextures = L"，贴图";
inline constexpr const wchar_t* kListColon = L"：";
inline constexpr const wchar_t* kListListComma = L"，";
inline constexpr const wchar_t* kListMipmaps = L" 级";
inline constexpr const wchar_t* kListUnsupported = L"不支持的格式 ";
inline constexpr const wchar_t* kListOther = L"数据 ";
inline constexpr const wchar_t* kListDamaged = L"已损坏：";
// "列出完毕：共 18 项，未使用 2 项！\n"
inline constexpr const wchar_t* kListDone = L"列出完毕：共 ";
inline constexpr const wchar_t* kListDoneUnused = L" 项，未使用 ";
inline constexpr const wchar_t* kListDoneEnd = L" 项！\n";
inline constexpr const wchar_t* kListFailedBecause = L"列出文件失败！原因：";

// VERIFY
// "a.bin 第 42 项：" + the problem; "a.bin：" + a problem of the whole file
inline constexpr const wchar_t* kVerifyEntry = L" 第 ";
inline constexpr const wchar_t* kVerifyEntryEnd = L" 项：";
inline constexpr const wchar_t* kVerifyFileEnd = L"：";
inline constexpr const wchar_t* kVerifyBackupMisfit =
    L"备份文件与档案不符（记录文件或 Index 备份文件的长度不对）！";
inline constexpr const wchar_t* kVerifySizeUnrecorded =
    L"备份记录中没有该 Voxbank 文件的大小，无法检查是否被其他程序修改过！";
inline constexpr const wchar_t* kVerifyEntryChanged =
    L"该项在备份后被其他程序修改过（例如游戏更新），恢复将会损坏游戏数据！";
inline constexpr const wchar_t* kVerifyCountChanged =
    L"Index 的条目数量在备份后被其他程序修改过（例如游戏更新）！";
inline constexpr const wchar_t* kVerifyFileShorter =
    L"该 Voxbank 文件比备份时短，在备份后被其他程序修改过！";
// "检查完毕：已检查 714 项，未使用 7 项，发现 3 个问题！\n" / "...，未发现问题！\n"
inline constexpr const wchar_t* kVerifyDone = L"检查完毕：已检查 ";
inline constexpr const wchar_t* kVerifyDoneUnused = L" 项，未使用 ";
inline constexpr const wchar_t* kVerifyDoneProblems = L" 项，发现 ";
inline constexpr const wchar_t* kVerifyDoneProblemsEnd = L" 个问题！\n";
inline constexpr const wchar_t* kVerifyDoneClean = L" 项，未发现问题！\n";
inline constexpr const wchar_t* kVerifyFailedBecause = L"检查档案失败！原因：";

// MODMAKE
inline constexpr const wchar_t* kModNoName = L"MOD 名称不能为空！\n";
// "文件夹“mods/A”中已有 mod.json，不能覆盖另一个 MOD！\n"
inline constexpr const wchar_t* kModFolderQuote = L"文件夹“";
inline constexpr const wchar_t* kModHasManifest = L"”中已有 mod.json，不能覆盖另一个 MOD！\n";
// "文件夹“Import357”是导入文件夹或在导入文件夹中，MOD 不能放在这里！\n"
inline constexpr const wchar_t* kModInImportFolder =
    L"”是导入文件夹或在导入文件夹中，MOD 不能放在这里！\n";
inline constexpr const wchar_t* kModNoBackup =
    L"未找到备份文件，无法制作 MOD！请先用 BACKUP 备份！\n";
inline constexpr const wchar_t* kModChangedSinceBackup =
    L"游戏文件在备份后已被其他程序修改（例如游戏更新），无法制作 MOD！请先重新备份！\n";
// "文件 42.data 与 000042.data 对应同一个编号，无法打包！\n"
inline constexpr const wchar_t* kModFileLine = L"文件 ";
inline constexpr const wchar_t* kModAnd = L" 与 ";
inline constexpr const wchar_t* kModSameEntry = L" 对应同一个编号，无法打包！\n";
// Import file name + one of these
inline constexpr const wchar_t* kModSameAsOriginal = L" 文件与原始数据相同，已跳过！\n";
inline constexpr const wchar_t* kModOriginalFailedBecause = L" 文件对应的原始数据读取失败！原因：";
inline constexpr const wchar_t* kModFileChanged = L" 文件在打包过程中被修改了！\n";
inline constexpr const wchar_t* kModOriginalsFailedBecause = L"读取原始数据失败！原因：";
inline constexpr const wchar_t* kModMakeFailedBecause = L"制作 MOD 失败！原因：";
inline constexpr const wchar_t* kModNothingToPack = L"未找到可以打包的文件！\n";
// "打包文件 VOXDATA_A/000042.data 成功！\n"
inline constexpr const wchar_t* kModPackedLine = L"打包文件 ";
// "制作 MOD“A”成功！共打包 3 个文件！\n"
inline constexpr const wchar_t* kModMadeOpen = L"制作 MOD“";
inline constexpr const wchar_t* kModMadeCount = L"”成功！共打包 ";
inline constexpr const wchar_t* kModMadeEnd = L" 个文件！\n";

// A mod step a killed process left unfinished, as the next command finds it:
// "上次未完成的 MOD 操作（MODADD：A、B）已补完，MOD 已全部应用！\n"
inline constexpr const wchar_t* kModStepOpen = L"上次未完成的 MOD 操作（";
inline constexpr const wchar_t* kModStepColon = L"：";
inline constexpr const wchar_t* kModNameSeparator = L"、";
inline constexpr const wchar_t* kModStepClose = L"）";
inline constexpr const wchar_t* kModStepForward = L"已补完，该操作已全部生效！\n";
inline constexpr const wchar_t* kModStepBack = L"已撤销，该操作没有生效！\n";
inline constexpr const wchar_t* kModStepAside =
    L"之后游戏文件又被修改过，该操作不会再执行，其记录已移至“";
inline constexpr const wchar_t* kModStepAsideEnd = L"”！\n";
inline constexpr const wchar_t* kModSettleFailedBecause = L"处理上次未完成的 MOD 操作失败！原因：";

// MODADD, MODDEL, MODS, MODREAPPLY. A line about an entry:
// "VOXDATA_A.BIN 第 42 项：MOD“C”已被 MOD“A”修改！\n" (the file only for Z54 and 358)
inline constexpr const wchar_t* kModQuoteOpen = L"MOD“";
inline constexpr const wchar_t* kModQuoteClose = L"”";
inline constexpr const wchar_t* kModEntryOpen = L"第 ";
inline constexpr const wchar_t* kModEntryClose = L" 项：";
inline constexpr const wchar_t* kModOriginalChanged =
    L"的原始数据与游戏中的不同（游戏可能已更新），无法应用！\n";
inline constexpr const wchar_t* kModOriginalChangedSkipped =
    L"的原始数据已被游戏更新修改，已跳过！\n";
inline constexpr const wchar_t* kModEntryMissing = L"对应的项在游戏中不存在或未使用，无法应用！\n";
inline constexpr const wchar_t* kModEntryMissingSkipped = L"对应的项在游戏中已不存在，已跳过！\n";
// + holder + kModSetEnd
inline constexpr const wchar_t* kModSetByApplied = L"要修改的项已被已应用的 ";
inline constexpr const wchar_t* kModSetByEarlier = L"要修改的项也被本次前面的 ";
inline constexpr const wchar_t* kModSetEnd = L"修改过，存在冲突！\n";
inline constexpr const wchar_t* kModOverEnd = L"所做的修改！\n";
inline constexpr const wchar_t* kModOverApplied = L"将覆盖已应用的 ";
inline constexpr const wchar_t* kModOverEarlier = L"将覆盖本次前面的 ";
inline constexpr const wchar_t* kModChangedOutside =
    L"要修改的项已被 MOD 以外的操作（例如导入）修改，存在冲突！\n";
inline constexpr const wchar_t* kModOverOutside =
    L"将覆盖 MOD 以外的操作（例如导入）所做的修改！\n";
inline constexpr const wchar_t* kModAddRefusedBecause = L"无法应用 MOD！原因：";
inline constexpr const wchar_t* kModOverHint =
    L"冲突的 MOD 可以加上 --over 选项让后面的 MOD 覆盖前面的修改。\n";
inline constexpr const wchar_t* kModAddFailedBecause = L"应用 MOD 失败！原因：";
inline constexpr const wchar_t* kModAddNeedsBackup =
    L"未找到备份文件，不备份无法应用 MOD！请先用 BACKUP 备份，或加上 --backup 选项！\n";
inline constexpr const wchar_t* kModReadFailedBecause = L"读取 MOD 失败！原因：";
// "MOD“A”中的文件 VOXDATA_Q/000001.data 对应的 Voxbank 文件 VOXDATA_Q.BIN 不属于该游戏！\n"
inline constexpr const wchar_t* kModMemberFile = L"中的文件 ";
inline constexpr const wchar_t* kModMemberNotInGame = L" 对应的 Voxbank 文件 ";
inline constexpr const wchar_t* kModMemberNotInGameEnd = L" 不属于该游戏！\n";
// "向 VOXDATA_A.BIN 中应用 MOD“A”MOD“B”成功！共写入 12 个文件！\n"
inline constexpr const wchar_t* kModAddedOpen = L"向 ";
inline constexpr const wchar_t* kModAddedMods = L" 中应用 ";
inline constexpr const wchar_t* kModAddedCount = L"成功！共写入 ";
inline constexpr const wchar_t* kModAddedEnd = L" 个文件！\n";
inline constexpr const wchar_t* kModRestoredEnd = L" 项！\n";
inline constexpr const wchar_t* kModLedgerFailedBecause = L"读取 MOD 记录失败！原因：";
// "没有应用名为“A”的 MOD！\n"
inline constexpr const wchar_t* kModNotAppliedOpen = L"没有应用名为“";
inline constexpr const wchar_t* kModNotAppliedEnd = L"”的 MOD！\n";
inline constexpr const wchar_t* kModDelFailedBecause = L"移除 MOD 失败！原因：";
inline constexpr const wchar_t* kModLeftAlone =
    L"该项已被 MOD 以外的操作（例如导入）修改，保持不变！\n";
inline constexpr const wchar_t* kModStillOverridden = L"第 ";
inline constexpr const wchar_t* kModStillOverriddenEnd = L" 项由后来应用的 MOD 决定，保持不变！\n";
// "从 VOXDATA_A.BIN 中移除 MOD“A”成功！共恢复 3 项！\n"
inline constexpr const wchar_t* kModRemovedOpen = L"从 ";
inline constexpr const wchar_t* kModRemovedMod = L" 中移除 ";
inline constexpr const wchar_t* kModRemovedCount = L"成功！共恢复 ";
// MODS
inline constexpr const wchar_t* kModsFileOpen = L"文件 ";
inline constexpr const wchar_t* kModsFileClose = L"：\n";
inline constexpr const wchar_t* kModsNone = L"  没有应用 MOD\n";
inline constexpr const wchar_t* kModsIndent = L"  ";
inline constexpr const wchar_t* kModsFolderOpen = L"（";
inline constexpr const wchar_t* kModsFolderClose = L"）";
inline constexpr const wchar_t* kModsEntries = L"：第 ";
inline constexpr const wchar_t* kModsEntriesEnd = L" 项\n";
inline constexpr const wchar_t* kModsOverrides = L"覆盖了 ";
inline constexpr const wchar_t* kModsOutside = L"已被 MOD 以外的操作（例如导入）修改\n";
inline constexpr const wchar_t* kModsChanged =
    L"  游戏文件在备份后已被其他程序修改（例如游戏更新）！\n";
inline constexpr const wchar_t* kModsGone =
    L"  MOD 的数据已不在索引中（游戏更新或修复替换了文件），请用 MODREAPPLY 重新应用！\n";
inline constexpr const wchar_t* kModsFailedBecause = L"读取 MOD 状态失败！原因：";
inline constexpr const wchar_t* kModsNoBackup = L"该游戏没有备份，也没有应用 MOD！\n";
// MODREAPPLY
inline constexpr const wchar_t* kModReapplyMixed =
    L"游戏文件中新旧数据混杂，无法重新应用 "
    L"MOD，未做任何修改！请先用游戏的启动器检查游戏文件，再运行 MODREAPPLY！\n";
inline constexpr const wchar_t* kModReapplyNothing = L"MOD 都还在游戏中，无需重新应用！\n";
inline constexpr const wchar_t* kModReapplyNoMods = L"该游戏没有应用 MOD！\n";
inline constexpr const wchar_t* kModReapplyFailedBecause = L"重新应用 MOD 失败！原因：";

} // namespace karv::text
