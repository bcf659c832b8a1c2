#pragma once
// Texts by name for one call (path parameters, query values, headers),
// kept in the order in which their names first came, so that what a call
// does never depends on hashing. Setting a name again replaces its text in
// place.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "support/text_hash.h"

namespace Vorn {

class ParameterMap {
public:
    using Entry = std::pair<std::string, std::string>;

    void Set(std::string_view name, std::string value);
    const std::string* Find(std::string_view name) const;

    std::size_t Size() const { return entries_.size(); }
    bool Empty() const { return entries_.empty(); }
    std::vector<Entry>::const_iterator begin() const { return entries_.begin(); }
    std::vector<Entry>::const_iterator end() const { return entries_.end(); }

private:
    // A call has a handful of texts: they are searched in order, and indexed
    // only when there are more than this many.
    static constexpr std::size_t kSearchedAtMost = 16;
    std::size_t IndexOf(std::string_view name) const;

    std::vector<Entry> entries_;
    std::unordered_map<std::string, std::size_t, TextHash, std::equal_to<>> index_;  // empty until needed
};

}  // namespace Vorn
