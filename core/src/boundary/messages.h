// Every text the library puts on the last-error channel, in one place.
#pragma once

namespace karv::msg {

// Files
inline constexpr const wchar_t* kOpenFileFailed = L"打开文件失败！";
inline constexpr const wchar_t* kReadDataFailed = L"读取数据失败！";
inline constexpr const wchar_t* kCreateFileFailed = L"创建文件失败！";
inline constexpr const wchar_t* kWriteDataFailed = L"写入数据失败！";

// Compressed containers
inline constexpr const wchar_t* kDataLengthZero = L"数据长度为零！";
inline constexpr const wchar_t* kDataTooLong = L"数据长度过大！";
inline constexpr const wchar_t* kCompressFailed = L"压缩数据失败！";
inline constexpr const wchar_t* kDecompressFailed = L"数据解压失败！";
inline constexpr const wchar_t* kDecompressedSizeWrong = L"解压后的数据大小有误！";
inline constexpr const wchar_t* kChunkSizeZero = L"数据块大小为零！";
inline constexpr const wchar_t* kOutOfMemory = L"分配内存失败，可能是内存不足！";

// Index files and packed blobs
inline constexpr const wchar_t* kWrongDataType = L"错误的游戏数据类型！";
inline constexpr const wchar_t* kOpenIndexFailed = L"打开 Index 文件失败！";
inline constexpr const wchar_t* kReadIndexFailed = L"读取 Index 文件出错！";
inline constexpr const wchar_t* kLoadIndexFailed = L"加载 Index 文件失败！";
inline constexpr const wchar_t* kIndexEmpty = L"Index 文件中没有任何条目！";

// Backup and restore
inline constexpr const wchar_t* kOpenVoxbankFailed = L"打开 Voxbank 文件失败！";
inline constexpr const wchar_t* kBackupVoxbankSizeFailed = L"获取 Voxbank 大小失败！";
inline constexpr const wchar_t* kLoadBackupFailed = L"加载备份文件失败！";
inline constexpr const wchar_t* kIndexFileSizeFailed = L"获取 Index 文件大小失败！";
inline constexpr const wchar_t* kVoxbankFileSizeFailed = L"获取 Voxbank 文件大小失败！";
inline constexpr const wchar_t* kIndexSizeMismatch = L"Index 文件大小与备份数据不符！";
inline constexpr const wchar_t* kVoxbankSizeMismatch = L"Voxbank 文件大小与备份数据不符！";
inline constexpr const wchar_t* kTooManyVoxbankFiles = L"Voxbank 文件数量超出范围！";
inline constexpr const wchar_t* kWriteIndexFailed = L"写入 Index 文件失败！";
inline constexpr const wchar_t* kCutVoxbankFailed = L"截断 Voxbank 文件失败！";
inline constexpr const wchar_t* kWriteBackupFailed = L"写入备份文件失败！";
inline constexpr const wchar_t* kChangedSinceBackup =
    L"游戏文件在备份后已被其他程序修改（例如游戏更新），恢复备份会损坏游戏文件！";

// The original members, as the backup saved them
inline constexpr const wchar_t* kOriginalBeyondSavedSize =
    L"备份中的文件数据超出了备份时 Voxbank 文件的大小！";
inline constexpr const wchar_t* kOriginalsChangedSinceBackup =
    L"游戏文件在备份后已被其他程序修改（例如游戏更新），无法读取备份时的原始文件！";

// Archive-file interface
inline constexpr const wchar_t* kDataTypeNotSet = L"尚未指定游戏数据类型！";
inline constexpr const wchar_t* kIndexNotLoaded = L"尚未加载 Index 文件！";
inline constexpr const wchar_t* kSkipUnusedMember = L"跳过未使用的文件！";
inline constexpr const wchar_t* kReadLinkFailed = L"读取 LINK 文件出错！";
inline constexpr const wchar_t* kEntryBeyondIndex = L"文件编号超出了 Index 文件的范围！";
// Listing and verifying an archive
inline constexpr const wchar_t* kMemberBeyondFile = L"文件数据超出了 Voxbank 文件的范围！";
inline constexpr const wchar_t* kContainerHeaderWrong = L"压缩数据头有误！";
// "解压文件 000007.data 出错！原因：" + the codec's message + "\n"
inline constexpr const wchar_t* kUnpackMemberPrefix = L"解压文件 ";
inline constexpr const wchar_t* kUnpackMemberReason = L".data 出错！原因：";

// Texture container
inline constexpr const wchar_t* kG1TAlreadyOpen = L"G1T 数据已打开！";
inline constexpr const wchar_t* kG1TSizeZero = L"数据大小为零！";
inline constexpr const wchar_t* kG1TNotOpen = L"尚未打开 G1T 数据！";
inline constexpr const wchar_t* kG1TEndOfFile = L"已到达文件尾！";
// Followed by the format code in lowercase hexadecimal: two digits at least on export, as
// many as needed on import.
inline constexpr const wchar_t* kG1TUnsupportedExport = L"尚不支持的贴图类型：0x";
inline constexpr const wchar_t* kG1TUnsupportedImport = L"尚不支持的贴图类型：";
inline constexpr const wchar_t* kG1TImportFileTooSmall = L"要导入的文件过小！";
inline constexpr const wchar_t* kG1THeaderOutside = L"G1T 数据头不完整！";
inline constexpr const wchar_t* kG1TTableOutside = L"贴图偏移表超出 G1T 数据范围！";
inline constexpr const wchar_t* kG1TTextureHeaderOutside = L"贴图头超出 G1T 数据范围！";
inline constexpr const wchar_t* kG1TExtensionOutside = L"贴图扩展头超出 G1T 数据范围！";
inline constexpr const wchar_t* kG1TPixelDataOutside = L"贴图数据超出 G1T 数据范围！";
inline constexpr const wchar_t* kG1TNumberBeyondCount = L"贴图编号超出贴图数量！";
inline constexpr const wchar_t* kDdsNotDds = L"要导入的文件不是 DDS 文件！";
inline constexpr const wchar_t* kDdsSizeMismatch = L"要导入的 DDS 文件与贴图的尺寸不符！";
inline constexpr const wchar_t* kDdsFormatMismatch = L"要导入的 DDS 文件与贴图的格式不符！";

// Text reader
inline constexpr const wchar_t* kPathNotAccessible = L"文件不存在或无法访问！";
inline constexpr const wchar_t* kUcs2OddSize = L"文件是 UCS2 格式但字节数不是偶数！";
inline constexpr const wchar_t* kUnknownBom = L"无法识别文件的 BOM！";
inline constexpr const wchar_t* kLineBufferTooShort = L"字符串缓冲长度不够！";
inline constexpr const wchar_t* kTextConversionFailed = L"文本编码转换失败！";

// Text writer
inline constexpr const wchar_t* kAlreadyOpen = L"已经打开过文件了！";
inline constexpr const wchar_t* kEncodingNotSupported = L"不支持的编码格式！";
inline constexpr const wchar_t* kWriteBomFailed = L"写入 BOM 失败！";
inline constexpr const wchar_t* kNotOpen = L"尚未打开文件！";
inline constexpr const wchar_t* kInLogMode = L"当前是 LOG 模式！";
inline constexpr const wchar_t* kNotInLogMode = L"当前不是 LOG 模式！";
inline constexpr const wchar_t* kWriteFileFailed = L"写入文件失败！";

// The mod files (a package's manifest, the mod ledger, a mod step's intent). A message is put
// together from pieces: the file, where in it (the file, or its n-th member, counted from 1), the
// key (a nested object's as "original.size"), the value as the file has it, and what is wrong:
//   "mod.json 中缺少 name！"
//   "mod.json 中第 3 个成员缺少 original.hash！"
//   "MOD 记录中第 3 个条目的第 2 层的 bytes 类型有误，应为字符串！"
//   "mod.json 中第 3 个成员的 path \"../a\" 无效（应为以 / 分隔的相对路径，……）！"
// The files as the messages name them; a Latin name is followed by a space.
inline constexpr const wchar_t* kManifestFile = L"mod.json ";
inline constexpr const wchar_t* kLedgerFile = L"MOD 记录";
inline constexpr const wchar_t* kIntentFile = L"MOD 操作记录";
// file + what is wrong with the whole file
inline constexpr const wchar_t* kModFileNotUtf8 = L"不是有效的 UTF-8 文本！";
// + line number + kModFileNotJsonEnd
inline constexpr const wchar_t* kModFileNotJson = L"不是有效的 JSON 文本（第 ";
inline constexpr const wchar_t* kModFileNotJsonEnd = L" 行有误）！";
inline constexpr const wchar_t* kModFileNotObject = L"的内容不是 JSON 对象！";
// + the key in quotes + kModFileKeyTwiceEnd
inline constexpr const wchar_t* kModFileKeyTwice = L"中的键 ";
inline constexpr const wchar_t* kModFileKeyTwiceEnd = L" 出现了不止一次！";
// file + "中": where the file itself holds the key
inline constexpr const wchar_t* kModFileIn = L"中";
// where + "第 " + n + counted ("第 3 个成员"); a layer of an entry: where + "的第 " + n + " 层"
inline constexpr const wchar_t* kModFileNth = L"第 ";
inline constexpr const wchar_t* kModFileNthOf = L"的第 ";
inline constexpr const wchar_t* kManifestMember = L" 个成员";
inline constexpr const wchar_t* kLedgerMod = L" 个 MOD ";
inline constexpr const wchar_t* kLedgerEntry = L" 个条目";
inline constexpr const wchar_t* kLedgerLayer = L" 层";
inline constexpr const wchar_t* kIntentModName = L" 个 MOD 名称";
inline constexpr const wchar_t* kIntentFileMember = L" 个文件";
// The intent's ledger: its keys as "ledger.type", its members as in kIntentFile + kIntentLedger
// + "的第 3 个条目", its format as kIntentFile + kIntentLedger + kModFileFormatUnknown.
inline constexpr const wchar_t* kIntentLedger = L"中 ledger ";
inline constexpr const wchar_t* kIntentLedgerKey = L"ledger.";
// where + "的 " + key + " "
inline constexpr const wchar_t* kModFileOf = L"的 ";
// where + "缺少 " + key + "！"
inline constexpr const wchar_t* kModFileMissing = L"缺少 ";
// where + "的 " + key + " 类型有误，应为" + type + "！"; a member itself: where + "类型有误…"
inline constexpr const wchar_t* kModFileWrongType = L"类型有误，应为";
inline constexpr const wchar_t* kModFileString = L"字符串";
inline constexpr const wchar_t* kModFileInteger = L"整数";
inline constexpr const wchar_t* kModFileObject = L"对象";
inline constexpr const wchar_t* kModFileArray = L"数组";
// where + "的 " + key + " " + value + " 无效（" + reason + "）！"
inline constexpr const wchar_t* kModFileBadValue = L" 无效（";
inline constexpr const wchar_t* kModFileBadValueEnd = L"）！";
inline constexpr const wchar_t* kModFileEnd = L"！";
// Ends a value cut short in a message.
inline constexpr const wchar_t* kModFileCut = L"…";
inline constexpr const wchar_t* kModFileNotInteger32 = L"应为 0 到 4294967295 之间的整数";
inline constexpr const wchar_t* kModFileNotInteger64 = L"应为 0 到 18446744073709551615 之间的整数";
inline constexpr const wchar_t* kModFileEmpty = L"不能为空";
inline constexpr const wchar_t* kModFileTypeValues = L"应为 357、Z54 或 358";
inline constexpr const wchar_t* kModFileModeValues = L"应为 PC 或 PS3";
inline constexpr const wchar_t* kModFileHashValue = L"应为 32 位小写十六进制数字";
inline constexpr const wchar_t* kModFileBytesValue =
    L"应为小写十六进制数字，每两位一个字节，共 1 到 64 个字节";
// reason: "应为 " + n + kModFileBytesLengthEnd
inline constexpr const wchar_t* kModFileBytesLength = L"应为 ";
inline constexpr const wchar_t* kModFileBytesLengthEnd = L" 个字节，与前面的字节值一样长";
inline constexpr const wchar_t* kModFileNotAscending = L"应比前一项的大，按从小到大排列且不重复";
// reason: "与第 " + n + counted + "重复"
inline constexpr const wchar_t* kModFileSameAs = L"与第 ";
inline constexpr const wchar_t* kModFileSameAsEnd = L"重复";
// + number + kModFileFormatUnknownEnd
inline constexpr const wchar_t* kModFileFormatUnknown = L"的格式版本为 ";
inline constexpr const wchar_t* kModFileFormatUnknownEnd = L"，本程序只支持版本 1！";
inline constexpr const wchar_t* kManifestFileValue = L"应为一个文件名，不能含有 / 或 \\";
inline constexpr const wchar_t* kManifestPathValue =
    L"应为以 / 分隔的相对路径，其中的名称不能为空、. 或 ..，不能含有 \\ : * ? \" < > | "
    L"和控制字符，不能以空格或 . 结尾";
inline constexpr const wchar_t* kManifestNoMembers = L"mod.json 中没有任何成员！";
// where (member n) + "与第 " + m + " 个成员替换同一个文件（" + file + " 的 " + entry + " 号）！"
inline constexpr const wchar_t* kManifestSameEntry = L"与第 ";
inline constexpr const wchar_t* kManifestSameEntryMiddle = L" 个成员替换同一个文件（";
inline constexpr const wchar_t* kManifestSameEntryOf = L" 的 ";
inline constexpr const wchar_t* kManifestSameEntryEnd = L" 号）！";
// where (member n) + "与第 " + m + " 个成员的 path 相同（" + path + "）！"
inline constexpr const wchar_t* kManifestSamePath = L" 个成员的 path 相同（";
// + the name in quotes + kManifestHashUnknownEnd
inline constexpr const wchar_t* kManifestHashUnknown = L"mod.json 中的哈希算法 ";
inline constexpr const wchar_t* kManifestHashUnknownEnd = L" 无法识别，本程序只支持 xxh3-128！";
// The mod ledger's and the intent's own values
inline constexpr const wchar_t* kLedgerModUnlisted = L"应为 mods 中列出的 MOD 名称";
inline constexpr const wchar_t* kIntentOperationValues = L"应为 MODADD、MODDEL 或 MODREAPPLY";
inline constexpr const wchar_t* kIntentFromBeyondSize = L"不能大于 size";

} // namespace karv::msg

namespace karv::msg {

// Mods on a game.
// kModLedgerUnreadable + path + kModQuoteEnd
inline constexpr const wchar_t* kModLedgerUnreadable = L"无法读取 MOD 记录“";
inline constexpr const wchar_t* kModQuoteEnd = L"”！";
inline constexpr const wchar_t* kModLedgerOtherGame = L"MOD 记录与游戏的类型或数据模式不符：“";
inline constexpr const wchar_t* kModWriteQuote = L"写入文件“";
inline constexpr const wchar_t* kModWriteEnd = L"”失败！";
inline constexpr const wchar_t* kModNoBackup =
    L"未找到备份文件或备份文件与游戏不符，无法操作 MOD！";
// kModPackageQuote + folder + kModPackageNoManifest
inline constexpr const wchar_t* kModPackageQuote = L"MOD 文件夹“";
inline constexpr const wchar_t* kModPackageNoManifest = L"”中没有可读取的 mod.json！";
// kModMemberQuote + path + one of the reasons
inline constexpr const wchar_t* kModMemberQuote = L"MOD 文件“";
inline constexpr const wchar_t* kModMemberMissing = L"”不存在或无法打开！";
inline constexpr const wchar_t* kModMemberOtherLength = L"”的长度与 mod.json 不符，文件不完整！";
inline constexpr const wchar_t* kModMemberUnreadable = L"”读取失败！";
inline constexpr const wchar_t* kModMemberOtherHash =
    L"”的校验值与 mod.json 不符，文件已损坏或被修改！";
inline constexpr const wchar_t* kModIntentPending =
    L"上次的 MOD 操作尚未完成，请重新运行命令以完成它！";
// kModWrongGameQuote + mod + kModWrongGameEnd
inline constexpr const wchar_t* kModNameQuote = L"MOD“";
inline constexpr const wchar_t* kModWrongGameEnd = L"”是为其他类型或数据模式的游戏制作的！";
inline constexpr const wchar_t* kModAlreadyAppliedEnd = L"”已经应用过了！";
inline constexpr const wchar_t* kModNotAppliedEnd = L"”没有应用在该文件上！";
inline constexpr const wchar_t* kModConflict = L"MOD 要修改的项有问题（见上文），未做任何修改！";
inline constexpr const wchar_t* kModIntentOtherGame = L"MOD 操作记录与游戏不符！";
inline constexpr const wchar_t* kModIntentUnreadable = L"无法读取 MOD 操作记录“";
// kModStageFailed + member path + kModQuoteEnd
inline constexpr const wchar_t* kModStageFailed = L"写入 MOD 文件失败，已撤销本次修改：“";
inline constexpr const wchar_t* kModStageStopped = L"写入 MOD 数据失败，已撤销本次修改！";
inline constexpr const wchar_t* kBackupWithModsApplied =
    L"该档案已应用 MOD，此时备份会把 MOD 的数据当作原始数据！请先用 MODDEL 移除 MOD，或用 RESTORE "
    L"恢复备份！";
inline constexpr const wchar_t* kRemoveLedgerFailed = L"数据已恢复，但删除 MOD 记录失败！";
} // namespace karv::msg
