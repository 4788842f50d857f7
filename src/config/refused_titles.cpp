#include "config/refused_titles.hpp"

namespace tamrix {

RefusedTitles gNotCreatedTitles;

bool RefusedTitles::insert(std::string_view title) {
    std::lock_guard lock(mutex_);
    return titles_.emplace(title).second;
}

bool RefusedTitles::contains(std::string_view title) const {
    std::lock_guard lock(mutex_);
    return titles_.find(title) != titles_.end();
}

std::size_t RefusedTitles::size() const {
    std::lock_guard lock(mutex_);
    return titles_.size();
}

void RefusedTitles::clear() {
    std::lock_guard lock(mutex_);
    titles_.clear();
}

} // namespace tamrix
