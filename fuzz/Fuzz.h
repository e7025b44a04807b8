#pragma once

// Shared by the harnesses: each defines LLVMFuzzerTestOneInput and checks what must hold for
// any input with REQUIRE(), which stops the run with the broken rule when it fails.

#include <QByteArray>
#include <QList>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

inline QByteArray fuzzBytes(const uint8_t* data, size_t size) {
    return QByteArray(reinterpret_cast<const char*>(data), qsizetype(size));
}

// The input cut at each line feed into at least `count` pieces (missing ones empty).
inline QList<QByteArray> fuzzFields(const uint8_t* data, size_t size, qsizetype count) {
    QList<QByteArray> fields = fuzzBytes(data, size).split('\n');
    while (fields.size() < count) fields.append(QByteArray());
    return fields;
}

#define REQUIRE(condition)                                                               \
    do {                                                                                 \
        if (!(condition)) {                                                              \
            std::fprintf(stderr, "%s:%d: broken: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                \
        }                                                                                \
    } while (false)
