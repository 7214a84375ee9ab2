#include "sim/json_reader.h"

#include <cstdio>
#include <cstring>

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

void AppendUtf8(std::string* out, uint32_t code)
{
    if (code < 0x80) {
        *out += static_cast<char>(code);
    } else if (code < 0x800) {
        *out += static_cast<char>(0xC0 | (code >> 6));
        *out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        *out += static_cast<char>(0xE0 | (code >> 12));
        *out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        *out += static_cast<char>(0xF0 | (code >> 18));
        *out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        *out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

}  // namespace

const char* JsonReader::TypeName(Type type)
{
    switch (type) {
    case Type::Object: return "object";
    case Type::Array: return "array";
    case Type::String: return "string";
    case Type::Number: return "number";
    case Type::Boolean: return "boolean";
    case Type::Null: return "null";
    }
    return "value";
}

void JsonReader::Fail(const std::string& message) const
{
    size_t line = 1;
    size_t lineStart = 0;
    for (size_t i = 0; i < at_ && i < text_.size(); ++i) {
        if (text_[i] == '\n') {
            ++line;
            lineStart = i + 1;
        }
    }
    throw SyntaxError{line, at_ - lineStart + 1, message};
}

void JsonReader::SkipBlanks()
{
    while (at_ < text_.size() && IsBlank(text_[at_]))
        ++at_;
}

JsonReader::Type JsonReader::Peek()
{
    SkipBlanks();
    if (at_ == text_.size())
        Fail("the text ends where a value is expected");
    const char c = text_[at_];
    switch (c) {
    case '{': return Type::Object;
    case '[': return Type::Array;
    case '"': return Type::String;
    case 't':
    case 'f': return Type::Boolean;
    case 'n': return Type::Null;
    default:
        if (c == '-' || IsDigit(c))
            return Type::Number;
    }
    char found[16];
    const auto byte = static_cast<unsigned char>(c);
    snprintf(found, sizeof(found), byte < 0x20 || byte >= 0x7F ? "byte 0x%02X" : "'%c'", byte);
    Fail(std::string("expected a value, found ") + found);
}

void JsonReader::EnterObject()
{
    if (Peek() != Type::Object)
        Fail("expected an object");
    ++at_;
    first_.push_back(true);
    object_.push_back(true);
}

void JsonReader::EnterArray()
{
    if (Peek() != Type::Array)
        Fail("expected an array");
    ++at_;
    first_.push_back(true);
    object_.push_back(false);
}

// Past the separator before the next member or element, or past the
// closing bracket (then false and the container is left).
bool JsonReader::More()
{
    SkipBlanks();
    const char close = object_.back() ? '}' : ']';
    const bool first = first_.back();
    if (at_ < text_.size() && text_[at_] == close) {
        ++at_;
        first_.pop_back();
        object_.pop_back();
        return false;
    }
    if (!first) {
        if (at_ == text_.size() || text_[at_] != ',')
            Fail(std::string("expected ',' or '") + close + "'");
        ++at_;
    }
    first_.back() = false;
    return true;
}

bool JsonReader::NextMember(std::string* key)
{
    if (first_.empty() || !object_.back())
        Fail("not inside an object");
    if (!More())
        return false;
    SkipBlanks();
    if (at_ == text_.size() || text_[at_] != '"')
        Fail("expected a key in double quotes");
    key->clear();
    ReadString(key);
    SkipBlanks();
    if (at_ == text_.size() || text_[at_] != ':')
        Fail("expected ':' after the key");
    ++at_;
    return true;
}

bool JsonReader::NextElement()
{
    if (first_.empty() || object_.back())
        Fail("not inside an array");
    return More();
}

void JsonReader::Literal(const char* word)
{
    const size_t length = strlen(word);
    if (text_.compare(at_, length, word) != 0)
        Fail("invalid literal");
    at_ += length;
}

bool JsonReader::Boolean()
{
    if (Peek() != Type::Boolean)
        Fail("expected true or false");
    if (text_[at_] == 't') {
        Literal("true");
        return true;
    }
    Literal("false");
    return false;
}

void JsonReader::Null()
{
    if (Peek() != Type::Null)
        Fail("expected null");
    Literal("null");
}

std::string JsonReader::String()
{
    if (Peek() != Type::String)
        Fail("expected a string");
    std::string out;
    ReadString(&out);
    return out;
}

uint32_t JsonReader::HexUnit()
{
    uint32_t unit = 0;
    for (int i = 0; i < 4; ++i, ++at_) {
        if (at_ == text_.size())
            Fail("the text ends inside a \\u escape");
        const char c = text_[at_];
        unit <<= 4;
        if (IsDigit(c))
            unit |= static_cast<uint32_t>(c - '0');
        else if (c >= 'a' && c <= 'f')
            unit |= static_cast<uint32_t>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            unit |= static_cast<uint32_t>(c - 'A' + 10);
        else
            Fail("a \\u escape needs four hex digits");
    }
    return unit;
}

// One multi-byte UTF-8 character, checked as RFC 3629 has it: no overlong
// forms, no surrogates, nothing above U+10FFFF.
void JsonReader::Utf8Sequence(std::string* out)
{
    const auto lead = static_cast<unsigned char>(text_[at_]);
    size_t continuation = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        continuation = 1;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        continuation = 2;
        if (lead == 0xE0)
            low = 0xA0;
        if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        continuation = 3;
        if (lead == 0xF0)
            low = 0x90;
        if (lead == 0xF4)
            high = 0x8F;
    } else {
        Fail("invalid UTF-8 byte in a string");
    }
    for (size_t i = 1; i <= continuation; ++i) {
        if (at_ + i >= text_.size())
            Fail("invalid UTF-8 byte in a string");
        const auto byte = static_cast<unsigned char>(text_[at_ + i]);
        if (byte < (i == 1 ? low : 0x80) || byte > (i == 1 ? high : 0xBF)) {
            at_ += i;
            Fail("invalid UTF-8 byte in a string");
        }
    }
    out->append(text_.substr(at_, continuation + 1));
    at_ += continuation + 1;
}

void JsonReader::ReadString(std::string* out)
{
    ++at_;  // the opening quote
    for (;;) {
        if (at_ == text_.size())
            Fail("the text ends inside a string");
        const char c = text_[at_];
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"') {
            ++at_;
            return;
        }
        if (byte < 0x20) {
            char message[64];
            snprintf(message, sizeof(message), "control character U+%04X must be escaped in a string", byte);
            Fail(message);
        }
        if (byte >= 0x80) {
            Utf8Sequence(out);
            continue;
        }
        if (c != '\\') {
            *out += c;
            ++at_;
            continue;
        }
        if (++at_ == text_.size())
            Fail("the text ends inside a string");
        const char escape = text_[at_++];
        switch (escape) {
        case '"': *out += '"'; break;
        case '\\': *out += '\\'; break;
        case '/': *out += '/'; break;
        case 'b': *out += '\b'; break;
        case 'f': *out += '\f'; break;
        case 'n': *out += '\n'; break;
        case 'r': *out += '\r'; break;
        case 't': *out += '\t'; break;
        case 'u': {
            uint32_t code = HexUnit();
            if (code >= 0xDC00 && code <= 0xDFFF)
                Fail("a low surrogate without a high one before it");
            if (code >= 0xD800 && code <= 0xDBFF) {
                if (text_.compare(at_, 2, "\\u") != 0)
                    Fail("a high surrogate without a low one after it");
                at_ += 2;
                const uint32_t lowUnit = HexUnit();
                if (lowUnit < 0xDC00 || lowUnit > 0xDFFF)
                    Fail("a high surrogate without a low one after it");
                code = 0x10000 + ((code - 0xD800) << 10) + (lowUnit - 0xDC00);
            }
            AppendUtf8(out, code);
            break;
        }
        default:
            --at_;
            Fail("invalid escape in a string");
        }
    }
}

JsonReader::Number JsonReader::ReadNumber()
{
    if (Peek() != Type::Number)
        Fail("expected a number");
    Number number{true, false, 0};
    if (text_[at_] == '-') {
        number.negative = true;
        ++at_;
    }
    if (at_ == text_.size() || !IsDigit(text_[at_]))
        Fail("a number needs a digit");
    if (text_[at_] == '0') {
        ++at_;
    } else {
        while (at_ < text_.size() && IsDigit(text_[at_])) {
            const auto digit = static_cast<uint64_t>(text_[at_] - '0');
            if (number.magnitude > (UINT64_MAX - digit) / 10)
                number.integer = false;  // too large: a floating-point number
            number.magnitude = number.magnitude * 10 + digit;
            ++at_;
        }
    }
    if (at_ < text_.size() && text_[at_] == '.') {
        ++at_;
        number.integer = false;
        if (at_ == text_.size() || !IsDigit(text_[at_]))
            Fail("a fraction needs a digit");
        while (at_ < text_.size() && IsDigit(text_[at_]))
            ++at_;
    }
    if (at_ < text_.size() && (text_[at_] == 'e' || text_[at_] == 'E')) {
        ++at_;
        number.integer = false;
        if (at_ < text_.size() && (text_[at_] == '+' || text_[at_] == '-'))
            ++at_;
        if (at_ == text_.size() || !IsDigit(text_[at_]))
            Fail("an exponent needs a digit");
        while (at_ < text_.size() && IsDigit(text_[at_]))
            ++at_;
    }
    if (number.negative && number.magnitude > (uint64_t{1} << 63))
        number.integer = false;
    return number;
}

void JsonReader::Skip()
{
    const size_t base = first_.size();
    std::string key;
    do {
        // Inside a container this skip entered, the next member or element.
        if (first_.size() > base && !(object_.back() ? NextMember(&key) : NextElement()))
            continue;
        switch (Peek()) {
        case Type::Object:
            EnterObject();
            break;
        case Type::Array:
            EnterArray();
            break;
        case Type::String:
            key.clear();
            ReadString(&key);
            break;
        case Type::Number: ReadNumber(); break;
        case Type::Boolean: Boolean(); break;
        case Type::Null: Null(); break;
        }
    } while (first_.size() > base);
}

void JsonReader::End()
{
    SkipBlanks();
    if (at_ != text_.size())
        Fail("more text after the document");
}
