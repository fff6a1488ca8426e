// Number texts of the XML files, written and read in C++ with the exact
// conventions of Python's str(float) and float(str).
#include "xml.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace videvo::trajdata::xml {
namespace {

// The longest text: a sign, 17 digits, a point, up to three zeros after
// "0." and an exponent (for example "-2.2250738585072014e-308").
constexpr std::size_t max_number_text = 32;

char* put(char* out, const char* text) {
    const std::size_t size = std::strlen(text);
    std::memcpy(out, text, size);
    return out + size;
}

// Writes str(x) at `out`; returns the end.
char* write_number(char* out, double x) {
    if (std::isnan(x)) return put(out, "nan");
    if (std::isinf(x)) return put(out, x < 0 ? "-inf" : "inf");
    // The shortest round-trip digits, as d[.ddd]e<sign><exponent>.
    char sci[max_number_text];
    const char* s = sci;
    const char* const end = std::to_chars(sci, sci + sizeof sci, x, std::chars_format::scientific).ptr;
    if (*s == '-') *out++ = *s++;
    char digits[24];
    int count = 0;
    for (; *s != 'e'; ++s)
        if (*s != '.') digits[count++] = *s;
    int exponent = 0;
    std::from_chars(s[1] == '+' ? s + 2 : s + 1, end, exponent);
    // Python places the point after `point` digits and switches to exponent
    // notation outside -4 < point <= 16.
    const int point = exponent + 1;
    if (point <= -4 || point > 16) {
        *out++ = digits[0];
        if (count > 1) {
            *out++ = '.';
            std::memcpy(out, digits + 1, count - 1);
            out += count - 1;
        }
        *out++ = 'e';
        *out++ = exponent < 0 ? '-' : '+';
        const int magnitude = std::abs(exponent);
        if (magnitude < 10) *out++ = '0';
        return std::to_chars(out, out + 4, magnitude).ptr;
    }
    if (point <= 0) {
        out = put(out, "0.");
        std::memset(out, '0', -point);
        out += -point;
        std::memcpy(out, digits, count);
        return out + count;
    }
    if (point >= count) {
        std::memcpy(out, digits, count);
        out += count;
        std::memset(out, '0', point - count);
        out += point - count;
        return put(out, ".0");
    }
    std::memcpy(out, digits, point);
    out += point;
    *out++ = '.';
    std::memcpy(out, digits + point, count - point);
    return out + (count - point);
}

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

// float(word) of the interpreter, for the words the fast reader does not take
// (a sign '+', underscores, values out of range) and for its error message.
double python_float(std::string_view word) {
    nb::object text = entry_result(PyUnicode_FromStringAndSize(word.data(), static_cast<Py_ssize_t>(word.size())));
    nb::object value = entry_result(PyFloat_FromString(text.ptr()));
    return PyFloat_AS_DOUBLE(value.ptr());
}

}  // namespace

std::string number_text(double x) {
    char text[max_number_text];
    return std::string(text, write_number(text, x));
}

std::string numbers_string(CVec values) {
    std::string text(static_cast<std::size_t>(values.size) * (max_number_text + 1), '\0');
    char* const begin = text.data();
    char* out = begin;
    for (Py_ssize_t i = 0; i < values.size; ++i) {
        if (i != 0) *out++ = ' ';
        out = write_number(out, values[i]);
    }
    text.resize(static_cast<std::size_t>(out - begin));
    return text;
}

nb::object numbers_text(CVec values) {
    const std::string text = numbers_string(values);
    // ASCII: copied once into a new str.
    nb::object result = entry_result(PyUnicode_New(static_cast<Py_ssize_t>(text.size()), 127));
    std::memcpy(PyUnicode_1BYTE_DATA(result.ptr()), text.data(), text.size());
    return result;
}

std::string_view utf8_of(nb::handle text) {
    if (text.is_none()) return {};
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(text.ptr(), &size);
    if (data == nullptr) throw nb::python_error();
    return {data, static_cast<std::size_t>(size)};
}

std::int64_t count_words(std::string_view text) {
    std::int64_t words = 0;
    bool in_word = false;
    for (const char c : text) {
        const bool space = is_space(c);
        words += !space && !in_word;
        in_word = !space;
    }
    return words;
}

void parse_numbers(std::string_view text, double* out, std::int64_t count) {
    const char* p = text.data();
    const char* const end = p + text.size();
    for (std::int64_t i = 0; i < count; ++i) {
        while (p != end && is_space(*p)) ++p;
        const char* word = p;
        while (p != end && !is_space(*p)) ++p;
        const auto [stop, error] = std::from_chars(word, p, out[i]);
        // (Python's float refuses the "nan(...)" payload form, which
        // from_chars takes)
        if (error != std::errc() || stop != p || (out[i] != out[i] && p[-1] == ')'))
            out[i] = python_float({word, static_cast<std::size_t>(p - word)});
    }
}

}  // namespace videvo::trajdata::xml
