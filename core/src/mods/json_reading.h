// What the readers and writers of the mod files (mod.json, the ledger, the intent) share. The
// readers use nlohmann-json with its exceptions off: taking a value of the wrong type throws, so
// every type is checked before a value is taken, and every refusal says in the file's words
// which file, where in it and what is wrong.
#pragma once

#include "karvcore/error.h"
#include "karvcore/status.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace karv::modfile {

using Json = nlohmann::json;

// One kind of file: the code of its refusals and its name in messages (msg::kManifestFile ...).
struct FileKind {
    Error invalid;
    const wchar_t* name;
};

Status invalid(const FileKind& kind, std::wstring message);

// The text as one JSON object: UTF-8 (a leading byte-order mark allowed), JSON to the end, no
// key twice in one object. `bytes` may be null when `length` is 0.
Status parseObject(const FileKind& kind, const uint8_t* bytes, size_t length, Json& out);

std::wstring wide(const std::string& utf8);
// Text cut short so that one line of a message holds it.
std::wstring shortened(std::wstring text);
// A value as the file writes it (a string in quotes), shortened.
std::wstring shownValue(const Json& value);
// "第 3 个成员": the member at `index` (from 0), `counted` as msg::kManifestMember; `lead` is
// msg::kModFileNthOf after a member ("第 2 个条目的第 1 层").
std::wstring nth(size_t index, const wchar_t* counted, const wchar_t* lead = nullptr);

bool isHashText(const std::wstring& text);

// Every bytes value of one file has the length of the first one read.
struct ByteLength {
    size_t bytes = 0;
};

// One value of the file and the words that name it in a message: a key's ("mod.json 中的 size")
// or an array member's ("模组操作记录中第 2 个模组名").
class Value {
  public:
    Value(const FileKind& kind, const Json& value, std::wstring subject, bool keyed)
        : kind_(&kind), value_(&value), subject_(std::move(subject)), keyed_(keyed) {}

    Status text(std::wstring& out) const;
    // A non-empty string.
    Status name(std::wstring& out) const;
    // Integers that fit in 32 or 64 bits.
    Status number(uint32_t& out) const;
    Status number(uint64_t& out) const;
    Status hash(std::wstring& out) const;
    // Lowercase hex of 1 to kMaxModEntryBytes bytes, as long as every other bytes value.
    Status bytes(std::vector<uint8_t>& out, ByteLength& length) const;
    // A container kind's name, and a byte order's.
    Status type(std::wstring& out) const;
    Status mode(std::wstring& out) const;
    Status object() const;
    Status array() const;

    const Json& json() const { return *value_; }
    // The value, which has the right type, is not one the file may hold.
    Status bad(const std::wstring& reason) const;
    Status wrongType(const wchar_t* type) const;

  private:
    Status unsigned64(uint64_t largest, const wchar_t* range, uint64_t& out) const;

    const FileKind* kind_;
    const Json* value_;
    std::wstring subject_;
    bool keyed_;
};

// The keys of one object: `where` is the file or one of its members ("mod.json 中第 3 个成员"),
// `prefix` the key of a nested object ("original.").
class Fields {
  public:
    Fields(const FileKind& kind, const Json& object, std::wstring where, std::wstring prefix = {})
        : kind_(kind), object_(object), where_(std::move(where)), prefix_(std::move(prefix)) {}

    // The value of `key`; refused when it is missing.
    Status find(const char* key, const Json*& out) const;
    // The value of `key`, which is there.
    Value at(const char* key) const;
    // Whether the object has `key` (for a key that may be left out).
    bool has(const char* key) const { return object_.contains(key); }

    Status text(const char* key, std::wstring& out) const { return read(key, &Value::text, out); }
    Status name(const char* key, std::wstring& out) const { return read(key, &Value::name, out); }
    Status hash(const char* key, std::wstring& out) const { return read(key, &Value::hash, out); }
    Status type(const char* key, std::wstring& out) const { return read(key, &Value::type, out); }
    Status mode(const char* key, std::wstring& out) const { return read(key, &Value::mode, out); }
    template <typename Number> Status number(const char* key, Number& out) const {
        const Json* value = nullptr;
        Status status = find(key, value);
        return status ? at(key).number(out) : status;
    }
    Status bytes(const char* key, std::vector<uint8_t>& out, ByteLength& length) const;
    Status object(const char* key, const Json*& out) const;
    Status array(const char* key, const Json*& out) const;
    // The format number, refused as ModFormatUnknown (`subject` named) when it is not `known`.
    Status format(const char* key, uint32_t known, const std::wstring& subject) const;

    Status bad(const char* key, const std::wstring& reason) const { return at(key).bad(reason); }
    const std::wstring& where() const { return where_; }

  private:
    Status read(const char* key, Status (Value::*get)(std::wstring&) const,
                std::wstring& out) const;

    const FileKind& kind_;
    const Json& object_;
    std::wstring where_;
    std::wstring prefix_;
};

// A member of an array as an object, or refused as "where 类型有误，应为对象！".
Status memberObject(const FileKind& kind, const Json& value, const std::wstring& where);

// Reads the members of an array as objects, in order, until one is refused: `read(fields, i)`
// with the member's keys, its place `before` + nth(i, counted, lead).
template <typename Read>
Status eachObject(const FileKind& kind, const Json& array, const std::wstring& before,
                  const wchar_t* counted, const wchar_t* lead, Read&& read) {
    Status status;
    for (size_t i = 0; status && i < array.size(); ++i) {
        std::wstring where = before + nth(i, counted, lead);
        status = memberObject(kind, array[i], where);
        if (status)
            status = read(Fields(kind, array[i], std::move(where)), i);
    }
    return status;
}

// ---- Writing ----

// A string as JSON, in UTF-8; what cannot be converted becomes U+FFFD.
std::string quoted(const std::wstring& text);
// Bytes as lowercase hex in quotes.
std::string quotedHex(const std::vector<uint8_t>& bytes);
// An array with one member a line, below a key indented by `indent`: "[]" when empty.
std::string linesArray(const std::vector<std::string>& lines, const std::string& indent);

} // namespace karv::modfile
