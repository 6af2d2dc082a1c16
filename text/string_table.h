// The tool's texts by id, in English and Chinese, stored as UTF-8 exactly as they are shown.
#pragma once

#include "text/text_ids.h"
#include "text/text_language.h"

#include <initializer_list>
#include <string>
#include <string_view>

namespace orvane {

// The text of id in the calling thread's language; empty for an id the table lacks.
std::string_view loadText(int id);

// The text of id in the given language; empty for an id the table lacks.
std::string_view textOf(int id, TextLanguage language);

// Replaces "{0}", "{1}" ... in pattern by the arguments, in one pass.
std::string fillText(std::string_view pattern, std::initializer_list<std::string_view> args);

} // namespace orvane
