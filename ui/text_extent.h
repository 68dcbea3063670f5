// How much room a text takes in a multi-line text control on a screen without fonts (the
// headless renderer): lines wrapped at the control's width with an average character width, one
// dialog text height each. Formatted text (RTF) counts by its plain text.
#pragma once

#include <string>
#include <string_view>

#include "ui/control_state.h"

namespace corvane::ui {

// The plain text of formatted text: paragraphs and line breaks as CR LF, escaped characters
// decoded, the font, colour and style tables, pictures and other destinations left out.
std::string RtfPlainText(std::string_view rtf);

// The vertical scroll metrics the control would report at its top, in lines: the page is the
// lines that fit into `height`, the maximum the last line's index.
ScrollMetrics EstimateTextScroll(std::string_view text, int width, int height, int text_height);

}  // namespace corvane::ui
