#pragma once
// The livery titles whose AI aircraft the simulator refused to create. The handler of a failed
// creation adds the title; the livery matching never picks a title that is in the set. The set
// keeps its own copies of the titles, so it stays valid when the livery catalogue it came from
// is cleared and rebuilt. It is never emptied during the process.
//
// Any thread may add and ask (the simulator link adds, the start-up thread matches).

#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_set>

namespace tamrix {

class RefusedTitles {
public:
    // True when the title was not in the set yet.
    bool insert(std::string_view title);
    bool contains(std::string_view title) const;
    std::size_t size() const;
    // Forgets every title: only for a process that starts over (tests).
    void clear();

private:
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const noexcept {
            return std::hash<std::string_view>{}(text);
        }
    };
    mutable std::mutex mutex_;
    std::unordered_set<std::string, Hash, std::equal_to<>> titles_;
};

extern RefusedTitles gNotCreatedTitles;

} // namespace tamrix
