#include "connection_count.h"

#include <mutex>

namespace gateway {

namespace {

std::mutex count_mutex;
std::size_t served = 0;

}  // namespace

bool connection_take() {
    std::lock_guard<std::mutex> hold(count_mutex);
    if (served == connection_max) return false;
    ++served;
    return true;
}

void connection_give_back() {
    std::lock_guard<std::mutex> hold(count_mutex);
    if (served > 0) --served;
}

}  // namespace gateway
