// Test support: values of the tuning image checked at their byte offsets,
// one table row each, as the image's format places them.
#pragma once

#include "mpi/common/mpi_common.h"

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>

namespace satest {

struct ImageValue {
    const char *name;
    size_t offset;
    u32 width; // 1, 2 or 4 bytes, little-endian
    u32 value;
};

inline void expect_image_values(const void *image, std::initializer_list<ImageValue> rows)
{
    for (const ImageValue &r : rows) {
        SCOPED_TRACE(r.name);
        u32 v = 0;
        memcpy(&v, static_cast<const u8 *>(image) + r.offset, r.width);
        EXPECT_EQ(r.value, v);
    }
}

} // namespace satest
