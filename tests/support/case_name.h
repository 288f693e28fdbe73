// Readable names for data-driven cases: the row number of the table.
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace kf::test {

struct RowName {
    template <class T>
    std::string operator()(const ::testing::TestParamInfo<T>& info) const {
        return "row" + std::to_string(info.index);
    }
};

}  // namespace kf::test
