#pragma once
// The process's open file descriptors as /proc/self/fd lists them: enough to find a
// descriptor that a library opened for itself and does not hand out.
//
// Threads: any. Each answer is only as current as the moment the list was read; a
// descriptor another thread opens or closes meanwhile may or may not be in it.
#include <set>
#include <string>
#include <vector>

// The descriptors open now (empty where /proc is not mounted).
std::set<int> OpenDescriptors();
// The descriptors open now that were not in `before` and refer to the file `path`, in
// ascending order.
std::vector<int> NewDescriptorsOf(const std::set<int>& before, const std::string& path);
