// A pull reader over JSON text (RFC 8259) that builds no document: the caller
// walks the values in file order and skips what it does not want. What a
// skipped value costs is two bits per level of nesting.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class JsonReader {
public:
    enum class Type { Object, Array, String, Number, Boolean, Null };

    // Thrown on text that is not JSON; line and column count from 1.
    struct SyntaxError {
        size_t line;
        size_t column;
        std::string message;
    };

    struct Number {
        bool integer;      // no fraction or exponent, and within 64 bits
        bool negative;
        uint64_t magnitude;
    };

    explicit JsonReader(std::string_view text) : text_(text) {}

    static const char* TypeName(Type type);

    // The type of the value that comes next.
    Type Peek();

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

    // Only blanks may follow the document.
    void End();

private:
    [[noreturn]] void Fail(const std::string& message) const;
    void SkipBlanks();
    bool More();
    void Literal(const char* word);
    void ReadString(std::string* out);
    uint32_t HexUnit();
    void Utf8Sequence(std::string* out);

    std::string_view text_;
    size_t at_ = 0;
    // Per open container: no member or element read yet; an object.
    std::vector<bool> first_;
    std::vector<bool> object_;
};
