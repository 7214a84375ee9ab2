#include "sim/json_tape.h"

#include <nlohmann/json.hpp>

#include <stdexcept>

namespace {

// One byte per event; a string or key is followed by its length (7 bits per
// byte, low first) and bytes, an integer by its magnitude. Integers 0 to 63
// are held in the event byte itself, so that no event takes more bytes than
// the text it was read from.
enum Event : uint8_t {
    kBeginObject = 1,
    kEndObject,
    kBeginArray,
    kEndArray,
    kKey,
    kString,
    kFalse,
    kTrue,
    kNull,
    kUnsigned,    // + magnitude
    kNegative,    // + magnitude
    kOtherNumber, // a fraction, an exponent or beyond 64 bits
    kSmall = 0x80, // kSmall + n: the integer n (0 to 63)
};

constexpr uint8_t kSmallLimit = 64;

}  // namespace

class TapeWriter : public nlohmann::json_sax<nlohmann::json> {
public:
    explicit TapeWriter(std::vector<uint8_t>& tape) : tape_(tape) {}

    bool null() override { return Put(kNull); }
    bool boolean(bool value) override { return Put(value ? kTrue : kFalse); }
    bool number_integer(number_integer_t value) override
    {
        if (value >= 0)
            return number_unsigned(static_cast<uint64_t>(value));
        tape_.push_back(kNegative);
        PutCount(0 - static_cast<uint64_t>(value));
        return true;
    }
    bool number_unsigned(number_unsigned_t value) override
    {
        if (value < kSmallLimit)
            return Put(static_cast<uint8_t>(kSmall + value));
        tape_.push_back(kUnsigned);
        PutCount(value);
        return true;
    }
    bool number_float(number_float_t, const string_t&) override { return Put(kOtherNumber); }
    bool string(string_t& value) override { return PutText(kString, value); }
    bool binary(binary_t&) override { return false; }
    bool start_object(std::size_t) override { return Put(kBeginObject); }
    bool key(string_t& value) override { return PutText(kKey, value); }
    bool end_object() override { return Put(kEndObject); }
    bool start_array(std::size_t) override { return Put(kBeginArray); }
    bool end_array() override { return Put(kEndArray); }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& error) override
    {
        // "[json.exception.parse_error.101] parse error at line 3, column 15: syntax error ..."
        std::string message = error.what();
        const size_t at = message.find("at line ");
        message = at == std::string::npos ? message : message.substr(at + 3);
        if (message.size() > 120)
            message = message.substr(0, 117) + "...";
        throw JsonTape::SyntaxError{message};
    }

private:
    bool Put(uint8_t event)
    {
        tape_.push_back(event);
        return true;
    }
    void PutCount(uint64_t value)
    {
        do {
            tape_.push_back(static_cast<uint8_t>((value & 0x7F) | (value > 0x7F ? 0x80 : 0)));
            value >>= 7;
        } while (value);
    }
    bool PutText(uint8_t event, const std::string& text)
    {
        tape_.push_back(event);
        PutCount(text.size());
        tape_.insert(tape_.end(), text.begin(), text.end());
        return true;
    }

    std::vector<uint8_t>& tape_;
};

JsonTape::JsonTape(std::string_view text)
{
    tape_.reserve(text.size() + 16);
    TapeWriter writer(tape_);
    nlohmann::json::sax_parse(text.begin(), text.end(), &writer);
}

const char* JsonTape::TypeName(Type type)
{
    static const char* const kNames[] = {"an object", "an array", "a string", "a number", "true or false", "null"};
    return kNames[static_cast<int>(type)];
}

JsonTape::Type JsonTape::Peek() const
{
    const uint8_t event = at_ < tape_.size() ? tape_[at_] : 0;
    if (event >= kSmall)
        return Type::Number;
    switch (event) {
    case kBeginObject:
        return Type::Object;
    case kBeginArray:
        return Type::Array;
    case kString:
        return Type::String;
    case kFalse:
    case kTrue:
        return Type::Boolean;
    case kNull:
        return Type::Null;
    case kUnsigned:
    case kNegative:
    case kOtherNumber:
        return Type::Number;
    default:
        throw std::logic_error("no value here");
    }
}

uint8_t JsonTape::Take(uint8_t expected)
{
    if (at_ >= tape_.size() || (expected && tape_[at_] != expected))
        throw std::logic_error("JSON read out of order");
    return tape_[at_++];
}

uint64_t JsonTape::Count()
{
    uint64_t value = 0;
    for (int shift = 0;; shift += 7) {
        const uint8_t byte = Take(0);
        value |= uint64_t{byte & 0x7Fu} << shift;
        if (!(byte & 0x80))
            return value;
    }
}

void JsonTape::EnterObject() { Take(kBeginObject); }
void JsonTape::EnterArray() { Take(kBeginArray); }

bool JsonTape::Closes(uint8_t end)
{
    if (at_ >= tape_.size() || tape_[at_] != end)
        return false;
    ++at_;
    return true;
}

bool JsonTape::NextMember(std::string* key)
{
    if (Closes(kEndObject))
        return false;
    *key = Text(kKey);
    return true;
}

bool JsonTape::NextElement() { return !Closes(kEndArray); }

std::string JsonTape::Text(uint8_t event)
{
    Take(event);
    const uint64_t size = Count();
    std::string text(reinterpret_cast<const char*>(tape_.data() + at_), size);
    at_ += size;
    return text;
}

std::string JsonTape::String()
{
    return Text(kString);
}

bool JsonTape::Boolean()
{
    const Type type = Peek();
    if (type != Type::Boolean)
        throw std::logic_error("not a boolean");
    return Take(0) == kTrue;
}

void JsonTape::Null() { Take(kNull); }

JsonTape::Number JsonTape::ReadNumber()
{
    const uint8_t event = Take(0);
    if (event >= kSmall)
        return {true, false, uint64_t{event} - kSmall};
    if (event == kOtherNumber)
        return {false, false, 0};
    if (event != kUnsigned && event != kNegative)
        throw std::logic_error("not a number");
    return {true, event == kNegative, Count()};
}

// Past the next value, however deeply nested, without recursion.
void JsonTape::Skip()
{
    size_t depth = 0;
    do {
        const uint8_t event = Take(0);
        if (event == kBeginObject || event == kBeginArray)
            ++depth;
        else if (event == kEndObject || event == kEndArray)
            --depth;
        else if (event == kKey || event == kString)
            at_ += Count();
        else if (event == kUnsigned || event == kNegative)
            Count();
    } while (depth > 0);
}
