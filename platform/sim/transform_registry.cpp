#include "transform_registry.h"

#include <algorithm>
#include <mutex>
#include <optional>

#include "wide.h"

namespace vorsim {
namespace {

struct Registry {
    std::mutex lock;
    std::vector<TransformInfo> all;
    std::optional<std::vector<std::string>> allowed;
};

Registry& registry() {
    static Registry r;
    return r;
}

}  // namespace

void register_transform(const TransformInfo& info) {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.lock);
    r.all.push_back(info);
}

std::vector<TransformInfo> allowed_transforms() {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.lock);
    std::vector<TransformInfo> out;
    for (const TransformInfo& t : r.all) {
        if (r.allowed && std::find(r.allowed->begin(), r.allowed->end(), to_utf8(t.name)) == r.allowed->end())
            continue;
        out.push_back(t);
    }
    std::stable_sort(out.begin(), out.end(), [](const TransformInfo& a, const TransformInfo& b) {
        return a.merit > b.merit;
    });
    return out;
}

void transforms_allow_only(const std::vector<std::string>& names) {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.lock);
    r.allowed = names;
}

void transforms_allow_all() {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.lock);
    r.allowed.reset();
}

}  // namespace vorsim
