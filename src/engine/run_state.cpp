#include "engine/run_state.h"

#include <random>

namespace tarnwick {

RunState& GlobalRunState() {
    static RunState state;
    return state;
}

int32_t NewRandomNumber() {
    static std::mutex m;
    static std::mt19937 engine{std::random_device{}()};
    std::lock_guard<std::mutex> lock(m);
    return std::uniform_int_distribution<int32_t>(1, 99999)(engine);
}

}  // namespace tarnwick
