// The text form of a component stream: the readable notation that dialogs are written in and
// that the loader passes every form through (binary -> text -> binary) to normalise it.
//
//   object Welcome: TWelcome
//     Caption = 'Welcome to '#39'$TITLE$'#39
//     Font.Style = [fsBold]
//     object Label1: TLabel [2]        (an optional child position in brackets)
//       Items.Strings = (
//         'one'
//         'two')
//       Picture.Data = {
//         0A544A...}
//     end
//   end
//
// "inherited" or "inline" in place of "object" set those flags. Values: integers in decimal
// ($ for hexadecimal on input), floating values with a decimal point or exponent (suffix S single,
// C currency, D date, R double, none extended), or raw bits when no decimal form is exact
// (~E + 20 hex digits, ~S + 8, ~D or ~R + 16); strings in quotes with #n for any other
// character and + to continue on the next line; True, False, nil, Null; identifiers; sets in
// [ ]; lists in ( ); collections in < > of "item [order] ... end"; binary data in { } as hex.
// A name or identifier that is not a plain identifier is written @'text'.
#pragma once

#include <string>
#include <string_view>

#include "ui/form_value.h"

namespace corvane::ui {

std::string FormObjectToText(const FormObject& root);

// Parses the text form; a syntax error throws image::ScriptFailure with a message that starts
// with "Line N: ". A list may not hold Null (the binary stream could not tell it from the list's
// end).
FormObject ParseFormText(std::string_view text);

// The text form of one value, as it appears after "Name = " in the text form.
std::string FormValueToText(const FormValue& value);

// The normalising round trip of the loader: binary stream -> text -> binary stream.
std::string NormaliseBinaryStream(std::string_view stream);

// Conversions between the 80-bit extended float (64-bit significand with explicit integer bit,
// 16-bit sign and exponent) and double. ExtendedToDouble returns false when the value is not a
// finite number that a double holds exactly.
bool ExtendedToDouble(uint64_t significand, uint16_t exponent, double* out);
void DoubleToExtended(double d, uint64_t* significand, uint16_t* exponent);

}  // namespace corvane::ui
