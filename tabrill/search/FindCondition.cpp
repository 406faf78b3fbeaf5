#include "tabrill/search/FindCondition.h"

#include <array>

std::int32_t LookInFromIndex(int index)
{
    static constexpr std::array values{XlFind::LookInFormulas, XlFind::LookInValues,
                                       XlFind::LookInComments};
    return index >= 0 && index < int(values.size()) ? values[std::size_t(index)] : values[0];
}

std::int32_t SearchOrderFromIndex(int index)
{
    static constexpr std::array values{XlFind::SearchByRows, XlFind::SearchByColumns};
    return index >= 0 && index < int(values.size()) ? values[std::size_t(index)] : values[0];
}
