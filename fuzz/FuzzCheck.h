#pragma once
// What the fuzz targets share: a failed check ends the run as a crash, so that libFuzzer
// keeps the input that broke it.

#include <QString>

#include <cstdio>
#include <cstdlib>

// Unlike assert(), never compiled out.
#define FUZZ_CHECK(condition)                                                                                          \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);                         \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (false)

// The input as the program would get it from a file: UTF-8, damaged sequences replaced.
inline QString fuzzText(const unsigned char* data, size_t size)
{
    return QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
}
