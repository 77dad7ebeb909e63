#include "mods/json_reading.h"

#include "boundary/messages.h"
#include "karvcore/formats.h"
#include "karvcore/mod_ledger.h"
#include "platform/text.h"

#include <algorithm>
#include <optional>
#include <set>
#include <utility>

namespace karv::modfile {
namespace {

// ---- Where the text stops being JSON, and keys given twice ----

// A first pass over the text: nlohmann's reader keeps the last of two equal keys without a word,
// and its refusal without exceptions says nothing about where the text went wrong.
class Scan final : public nlohmann::json_sax<Json> {
  public:
    bool null() override { return true; }
    bool boolean(bool) override { return true; }
    bool number_integer(number_integer_t) override { return true; }
    bool number_unsigned(number_unsigned_t) override { return true; }
    bool number_float(number_float_t, const string_t&) override { return true; }
    bool string(string_t&) override { return true; }
    bool binary(binary_t&) override { return true; }
    bool start_object(std::size_t) override {
        keys_.emplace_back();
        return true;
    }
    bool key(string_t& key) override {
        if (!keys_.back().insert(key).second && !twice_)
            twice_ = std::move(key);
        return true;
    }
    bool end_object() override {
        keys_.pop_back();
        return true;
    }
    bool start_array(std::size_t) override { return true; }
    bool end_array() override { return true; }
    bool parse_error(std::size_t position, const std::string&,
                     const nlohmann::detail::exception&) override {
        failedAt_ = position;
        return false;
    }

    // The byte count at which the reader gave up (the offending byte included); 0 when it did
    // not.
    size_t failedAt() const { return failedAt_; }
    const std::optional<std::string>& keyTwice() const { return twice_; }

  private:
    std::vector<std::set<std::string>> keys_;
    std::optional<std::string> twice_;
    size_t failedAt_ = 0;
};

// The line (from 1) of the byte before `failedAt`: where a player looks for the mistake.
size_t lineAt(const uint8_t* bytes, size_t length, size_t failedAt) {
    const size_t end = failedAt == 0 ? 0 : std::min(failedAt - 1, length);
    size_t line = 1;
    for (size_t i = 0; i < end; ++i)
        line += bytes[i] == '\n';
    return line;
}

Status notJson(const FileKind& kind, size_t line) {
    return invalid(kind, kind.name + std::wstring(msg::kModFileNotJson) + std::to_wstring(line) +
                             msg::kModFileNotJsonEnd);
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool fromHex(const std::string& text, std::vector<uint8_t>& out) {
    if (text.empty() || text.size() % 2 != 0 || text.size() / 2 > kMaxModEntryBytes)
        return false;
    std::vector<uint8_t> bytes(text.size() / 2);
    for (size_t i = 0; i < bytes.size(); ++i) {
        const int high = hexDigit(text[2 * i]);
        const int low = hexDigit(text[2 * i + 1]);
        if (high < 0 || low < 0)
            return false;
        bytes[i] = uint8_t(high << 4 | low);
    }
    out = std::move(bytes);
    return true;
}

} // namespace

Status invalid(const FileKind& kind, std::wstring message) {
    return Status::failure(kind.invalid, std::move(message));
}

Status parseObject(const FileKind& kind, const uint8_t* bytes, size_t length, Json& out) {
    static const uint8_t kNothing = 0;
    if (bytes == nullptr)
        bytes = &kNothing;
    const char* text = reinterpret_cast<const char*>(bytes);
    {
        std::wstring decoded;
        if (!platform::codePageToWide(platform::kCodePageUtf8, text, length, decoded))
            return invalid(kind, kind.name + std::wstring(msg::kModFileNotUtf8));
    }
    Scan scan;
    if (!Json::sax_parse(text, text + length, &scan))
        return notJson(kind, lineAt(bytes, length, scan.failedAt()));
    if (scan.keyTwice())
        return invalid(kind, kind.name + std::wstring(msg::kModFileKeyTwice) +
                                 shownValue(Json(*scan.keyTwice())) + msg::kModFileKeyTwiceEnd);
    Json document = Json::parse(text, text + length, nullptr, false);
    if (document.is_discarded())
        return notJson(kind, 1);
    if (!document.is_object())
        return invalid(kind, kind.name + std::wstring(msg::kModFileNotObject));
    out = std::move(document);
    return Status();
}

std::wstring wide(const std::string& utf8) {
    return platform::utf8ToWide(utf8);
}

std::wstring shortened(std::wstring text) {
    constexpr size_t kLongest = 60;
    if (text.size() > kLongest)
        text = text.substr(0, kLongest) + msg::kModFileCut;
    return text;
}

std::wstring shownValue(const Json& value) {
    return shortened(wide(value.dump(-1, ' ', false, Json::error_handler_t::replace)));
}

std::wstring nth(size_t index, const wchar_t* counted, const wchar_t* lead) {
    return (lead ? lead : msg::kModFileNth) + std::to_wstring(index + 1) + counted;
}

bool isHashText(const std::wstring& text) {
    if (text.size() != 32)
        return false;
    for (wchar_t c : text) {
        if (!((c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f')))
            return false;
    }
    return true;
}

// ---- One value ----

Status Value::text(std::wstring& out) const {
    if (!value_->is_string())
        return wrongType(msg::kModFileString);
    out = wide(value_->get_ref<const std::string&>());
    return Status();
}

Status Value::name(std::wstring& out) const {
    Status status = text(out);
    if (status && out.empty())
        return bad(msg::kModFileEmpty);
    return status;
}

Status Value::unsigned64(uint64_t largest, const wchar_t* range, uint64_t& out) const {
    if (!value_->is_number())
        return wrongType(msg::kModFileInteger);
    uint64_t number = 0;
    if (value_->is_number_unsigned())
        number = value_->get<uint64_t>();
    else if (value_->is_number_integer() && value_->get<int64_t>() >= 0)
        number = uint64_t(value_->get<int64_t>());
    else
        return bad(range);
    if (number > largest)
        return bad(range);
    out = number;
    return Status();
}

Status Value::number(uint32_t& out) const {
    uint64_t number = 0;
    Status status = unsigned64(UINT32_MAX, msg::kModFileNotInteger32, number);
    if (status)
        out = uint32_t(number);
    return status;
}

Status Value::number(uint64_t& out) const {
    return unsigned64(UINT64_MAX, msg::kModFileNotInteger64, out);
}

Status Value::hash(std::wstring& out) const {
    Status status = text(out);
    if (status && !isHashText(out))
        return bad(msg::kModFileHashValue);
    return status;
}

Status Value::bytes(std::vector<uint8_t>& out, ByteLength& length) const {
    if (!value_->is_string())
        return wrongType(msg::kModFileString);
    std::vector<uint8_t> bytes;
    if (!fromHex(value_->get_ref<const std::string&>(), bytes))
        return bad(msg::kModFileBytesValue);
    if (length.bytes != 0 && bytes.size() != length.bytes)
        return bad(msg::kModFileBytesLength + std::to_wstring(length.bytes) +
                   msg::kModFileBytesLengthEnd);
    length.bytes = bytes.size();
    out = std::move(bytes);
    return Status();
}

Status Value::type(std::wstring& out) const {
    Status status = text(out);
    if (status && FindContainerKindByName(out) == nullptr)
        return bad(msg::kModFileTypeValues);
    return status;
}

Status Value::mode(std::wstring& out) const {
    Status status = text(out);
    if (status && out != L"PC" && out != L"PS3")
        return bad(msg::kModFileModeValues);
    return status;
}

Status Value::object() const {
    return value_->is_object() ? Status() : wrongType(msg::kModFileObject);
}

Status Value::array() const {
    return value_->is_array() ? Status() : wrongType(msg::kModFileArray);
}

Status Value::bad(const std::wstring& reason) const {
    return invalid(*kind_, subject_ + L" " + shownValue(*value_) + msg::kModFileBadValue + reason +
                               msg::kModFileBadValueEnd);
}

Status Value::wrongType(const wchar_t* type) const {
    return invalid(*kind_, subject_ + (keyed_ ? L" " : L"") + msg::kModFileWrongType + type +
                               msg::kModFileEnd);
}

// ---- The keys of one object ----

Status Fields::find(const char* key, const Json*& out) const {
    const auto it = object_.find(key);
    if (it == object_.end())
        return invalid(kind_,
                       where_ + msg::kModFileMissing + prefix_ + wide(key) + msg::kModFileEnd);
    out = &*it;
    return Status();
}

Value Fields::at(const char* key) const {
    return Value(kind_, *object_.find(key), where_ + msg::kModFileOf + prefix_ + wide(key), true);
}

Status Fields::read(const char* key, Status (Value::*get)(std::wstring&) const,
                    std::wstring& out) const {
    const Json* value = nullptr;
    Status status = find(key, value);
    return status ? (at(key).*get)(out) : status;
}

Status Fields::bytes(const char* key, std::vector<uint8_t>& out, ByteLength& length) const {
    const Json* value = nullptr;
    Status status = find(key, value);
    return status ? at(key).bytes(out, length) : status;
}

Status Fields::object(const char* key, const Json*& out) const {
    Status status = find(key, out);
    return status ? at(key).object() : status;
}

Status Fields::array(const char* key, const Json*& out) const {
    Status status = find(key, out);
    return status ? at(key).array() : status;
}

Status Fields::format(const char* key, uint32_t known, const std::wstring& subject) const {
    uint32_t format = 0;
    Status status = number(key, format);
    if (status && format != known)
        return Status::failure(Error::ModFormatUnknown, subject + msg::kModFileFormatUnknown +
                                                            std::to_wstring(format) +
                                                            msg::kModFileFormatUnknownEnd);
    return status;
}

Status memberObject(const FileKind& kind, const Json& value, const std::wstring& where) {
    return Value(kind, value, where, false).object();
}

// ---- Writing ----

std::string quoted(const std::wstring& text) {
    return Json(platform::wideToUtf8(text)).dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string quotedHex(const std::vector<uint8_t>& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text = "\"";
    for (uint8_t byte : bytes) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 15];
    }
    return text + "\"";
}

std::string linesArray(const std::vector<std::string>& lines, const std::string& indent) {
    std::string text = "[";
    for (size_t i = 0; i < lines.size(); ++i)
        text += (i ? ",\n" : "\n") + indent + "  " + lines[i];
    return text + (lines.empty() ? "]" : "\n" + indent + "]");
}

} // namespace karv::modfile
