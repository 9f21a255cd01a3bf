#include "cli/figures_json.h"

#include <string>

#include "device/figure_table.h"

namespace cli {

nlohmann::ordered_json FiguresJson(const device::Figures& figures) {
    nlohmann::ordered_json json = nlohmann::ordered_json::object();
    for (const device::FigureRow& row : device::FigureTable(figures)) {
        nlohmann::ordered_json value = nullptr;
        if (row.value && row.whole) {
            value = static_cast<long long>(*row.value);
        } else if (row.value) {
            value = *row.value;
        }
        const std::string key(row.key);
        if (row.subkey.empty()) {
            json[key] = value;
        } else {
            json[key][std::string(row.subkey)] = value;
        }
    }
    return json;
}

}  // namespace cli
