#pragma once
// The one way the engine and mirvo write JSON text: every string as valid
// UTF-8, with each byte that starts no UTF-8 sequence as the text \xHH
// (Utf8WithEscapes), so that names of any bytes make valid JSON and two
// such names stay two.

#include <nlohmann/json.hpp>
#include <string>

namespace mirvo {

// Compact for indent -1, else indented by that many spaces.
std::string DumpJson(const nlohmann::ordered_json& json, int indent = -1);

}  // namespace mirvo
