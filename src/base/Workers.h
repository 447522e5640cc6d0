#pragma once
// Runs one job on several threads at once: the caller's thread works too, and the call returns
// when every copy has returned. The job shares its work out itself (an atomic counter, say).

#include <cstddef>
#include <thread>
#include <vector>

namespace hml::base {

template <typename FWork> void RunOnWorkers(size_t workers, FWork&& work) {
    std::vector<std::thread> threads;
    for (size_t t = 1; t < workers; ++t)
        threads.emplace_back([&work] { work(); });
    work();
    for (std::thread& t : threads)
        t.join();
}

} // namespace hml::base
