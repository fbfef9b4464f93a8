#include "texts/LocalizedTexts.h"

#include <array>

namespace vidtag {

namespace {

constexpr std::array<std::array<const char*, VT_TEXT_COUNT>, 2> kTexts{{
    {VT_TEXT_EN_1, VT_TEXT_EN_2, VT_TEXT_EN_3, VT_TEXT_EN_4, VT_TEXT_EN_5, VT_TEXT_EN_6,
     VT_TEXT_EN_7, VT_TEXT_EN_8, VT_TEXT_EN_9, VT_TEXT_EN_10, VT_TEXT_EN_11, VT_TEXT_EN_12,
     VT_TEXT_EN_13, VT_TEXT_EN_14, VT_TEXT_EN_15, VT_TEXT_EN_16, VT_TEXT_EN_17},
    {VT_TEXT_RU_1, VT_TEXT_RU_2, VT_TEXT_RU_3, VT_TEXT_RU_4, VT_TEXT_RU_5, VT_TEXT_RU_6,
     VT_TEXT_RU_7, VT_TEXT_RU_8, VT_TEXT_RU_9, VT_TEXT_RU_10, VT_TEXT_RU_11, VT_TEXT_RU_12,
     VT_TEXT_RU_13, VT_TEXT_RU_14, VT_TEXT_RU_15, VT_TEXT_RU_16, VT_TEXT_RU_17},
}};

} // namespace

const char* LocalizedText(int language, int number) {
    if (language < 0 || language > 1 || number < 1 || number > VT_TEXT_COUNT) {
        return "";
    }
    return kTexts[static_cast<std::size_t>(language)][static_cast<std::size_t>(number - 1)];
}

} // namespace vidtag
