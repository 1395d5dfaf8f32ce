#include "JsonText.h"

#include "TextEscape.h"

namespace mirvo {

namespace {

using Json = nlohmann::ordered_json;

bool HoldsInvalidText(const Json& json) {
  if (json.is_string()) return !IsValidUtf8(json.get_ref<const std::string&>());
  if (!json.is_structured()) return false;
  for (const Json& item : json) {
    if (HoldsInvalidText(item)) return true;
  }
  return false;
}

void EscapeInvalidText(Json& json) {
  if (json.is_string()) {
    std::string& text = json.get_ref<std::string&>();
    if (!IsValidUtf8(text)) text = Utf8WithEscapes(text);
  } else if (json.is_structured()) {
    for (Json& item : json) EscapeInvalidText(item);
  }
}

}  // namespace

std::string DumpJson(const Json& json, int indent) {
  // Most values hold valid text only, and are written without a copy. The
  // keys are the writers' own words.
  if (!HoldsInvalidText(json)) return json.dump(indent, ' ', false, Json::error_handler_t::replace);
  Json copy = json;
  EscapeInvalidText(copy);
  return copy.dump(indent, ' ', false, Json::error_handler_t::replace);
}

}  // namespace mirvo
