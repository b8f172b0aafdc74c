#include "WrittenEntries.h"

#include <algorithm>

namespace WrittenEntries {

void unite(ByType &into, const ByType &more)
{
    for (auto it = more.cbegin(); it != more.cend(); ++it) {
        QList<pim::Entity> &have = into[it.key()];
        for (const pim::Entity &e : it.value()) {
            auto same =
                std::find_if(have.begin(), have.end(), [&e](const pim::Entity &h) { return h.id == e.id; });
            if (same != have.end())
                *same = e;
            else
                have.append(e);
        }
    }
}

} // namespace WrittenEntries
