#include "element_layout.hpp"

#include <cstddef>
#include <iterator>

namespace frame {
namespace {

constexpr Py_ssize_t double_size = sizeof(double);
static_assert(double_size == 8);

struct CodeDescription {
    char code;
    const char* description;
};

// How a refused type code is named in the dtype-mismatch message.
constexpr CodeDescription code_descriptions[] = {
    {'?', "'bool'"},  {'c', "'char'"},          {'b', "'signed char'"}, {'B', "'unsigned char'"},
    {'h', "'short'"}, {'H', "'unsigned short'"}, {'i', "'int'"},         {'I', "'unsigned int'"},
    {'l', "'long'"},  {'L', "'unsigned long'"},  {'q', "'long long'"},   {'Q', "'unsigned long long'"},
    {'f', "'float'"}, {'d', "'double'"},         {'g', "'long double'"}, {'O', "Python object"},
    {'P', "a pointer"}, {'s', "a string"},       {'p', "a string"},
};

constexpr CodeDescription complex_descriptions[] = {
    {'f', "'complex float'"}, {'d', "'complex double'"}, {'g', "'complex long double'"}};

bool is_space(char c) { return c == ' ' || c == '\r' || c == '\n'; }

const char* skip_space(const char* p) {
    while (is_space(*p)) ++p;
    return p;
}

// One item of a format string: a repeat count (1 when absent) and a type code.
struct Item {
    Py_ssize_t count = 1;
    bool is_double = false;
    const char* description = nullptr;  // null for a code this routine does not know
    char code = '\0';
};

const char* describe(const CodeDescription* table, std::size_t size, char code) {
    for (std::size_t i = 0; i < size; ++i) {
        if (table[i].code == code) return table[i].description;
    }
    return nullptr;
}

// Reads the item at `p` and returns the position after it.
const char* read_item(const char* p, Item& item) {
    if (*p >= '0' && *p <= '9') {
        item.count = 0;
        while (*p >= '0' && *p <= '9') {
            if (item.count < PY_SSIZE_T_MAX / 10) item.count = item.count * 10 + (*p - '0');
            ++p;
        }
    }
    item.code = *p;
    if (*p == 'Z' && p[1] != '\0') {
        ++p;
        item.code = *p;
        item.description = describe(complex_descriptions, std::size(complex_descriptions), *p);
    } else {
        item.is_double = *p == 'd';
        item.description = describe(code_descriptions, std::size(code_descriptions), *p);
    }
    return *p == '\0' ? p : p + 1;
}

// The name of an item's type code in messages; unknown codes are quoted as they stand, and a format that ends
// before its type code (a bare repeat count) ends in "end".
struct Description {
    explicit Description(const Item& item) {
        text = item.code == '\0' ? "end" : item.description;
        if (text == nullptr) {
            PyOS_snprintf(unknown, sizeof unknown, "format code '%c'", item.code);
            text = unknown;
        }
    }
    const char* text;
    char unknown[24];
};

bool mismatch(const char* expected_quote, const char* expected, const char* got) {
    PyErr_Format(PyExc_ValueError, "Buffer dtype mismatch, expected %s%s%s but got %s", expected_quote, expected,
                 expected_quote, got);
    return false;
}

bool check_format(const char* format, const char* kind) {
    // An exporter that gives no format exports unsigned bytes.
    const char* p = skip_space(format != nullptr ? format : "B");
    if (*p == '>' || *p == '!') {
        PyErr_SetString(PyExc_ValueError, "Big-endian buffer not supported on little-endian compiler");
        return false;
    }
    if (*p == '@' || *p == '=' || *p == '<' || *p == '^') p = skip_space(p + 1);
    if (*p == '\0') return mismatch("'", kind, "end");

    Item element;
    p = skip_space(read_item(p, element));
    if (!element.is_double) return mismatch("'", kind, Description(element).text);
    if (element.count == 0) return mismatch("'", kind, "end");
    // A repeat count or a second item describes more than the one element.
    if (element.count > 1) return mismatch("", "end", Description(element).text);
    if (*p != '\0') {
        Item next;
        read_item(p, next);
        return mismatch("", "end", Description(next).text);
    }
    return true;
}

}  // namespace

bool check_double_layout(const Py_buffer& buffer, int dims, const char* kind) noexcept {
    if (buffer.ndim != dims) {
        PyErr_Format(PyExc_ValueError, "Buffer has wrong number of dimensions (expected %d, got %d)", dims,
                     buffer.ndim);
        return false;
    }
    if (!check_format(buffer.format, kind)) return false;
    if (buffer.itemsize != double_size) {
        PyErr_Format(PyExc_ValueError,
                     "Item size of buffer (%zd byte%s) does not match size of '%s' (%zd byte%s)",
                     buffer.itemsize, buffer.itemsize > 1 ? "s" : "", kind, double_size, "s");
        return false;
    }
    return true;
}

}  // namespace frame
