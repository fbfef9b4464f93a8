#pragma once

#include <array>
#include <cstddef>

namespace vidtag {

// The texts of one subject in each language, English first and Russian second, indexed by an
// enumeration whose last member is Count.
template <typename Id>
using TextTable = std::array<std::array<const char*, static_cast<std::size_t>(Id::Count)>, 2>;

// The text of id in language 1 (Russian) or, for any other language, in English; "" for an id
// past the end.
template <typename Id>
constexpr const char* TextOf(const TextTable<Id>& table, int language, Id id) noexcept {
    const auto index = static_cast<std::size_t>(id);
    return index < table[0].size() ? table[language == 1 ? 1 : 0][index] : "";
}

} // namespace vidtag
