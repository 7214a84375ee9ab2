// JSON text (RFC 8259) as a tape of events, read back in file order: the
// caller walks the values and skips what it does not want. nlohmann-json's
// SAX parser checks the syntax and records the events; no document is
// built. The tape takes at most as many bytes as the text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class JsonTape {
public:
    enum class Type { Object, Array, String, Number, Boolean, Null };

    // Thrown on text that is not JSON: where and what, as one line.
    struct SyntaxError {
        std::string message;
    };

    struct Number {
        bool integer;      // no fraction or exponent, and within 64 bits
        bool negative;
        uint64_t magnitude;
    };

    // Parses the whole text; throws SyntaxError.
    explicit JsonTape(std::string_view text);

    static const char* TypeName(Type type);
    size_t Bytes() const { return tape_.capacity(); }

    // The type of the value that comes next.
    Type Peek() const;

    // After Peek() gave Object: the members one by one, each key followed by
    // reading or skipping its value; false at the closing brace.
    void EnterObject();
    bool NextMember(std::string* key);
    // The same for arrays: true before each element.
    void EnterArray();
    bool NextElement();

    std::string String();
    bool Boolean();
    void Null();
    Number ReadNumber();
    void Skip();

private:
    uint8_t Take(uint8_t expected);
    uint64_t Count();
    // Steps over the end event when it comes next.
    bool Closes(uint8_t end);
    // A key or string event's text.
    std::string Text(uint8_t event);

    std::vector<uint8_t> tape_;
    size_t at_ = 0;
};
