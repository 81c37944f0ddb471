// Numbers in the instrument's messages: the operator's entry text read as a number, and a number
// written as the fixed-point text that goes on the bus.
#pragma once

// Reads the number at the start of text: leading white space (tab, LF, VT, FF, CR, space), an
// optional sign, decimal digits with at most one '.', and an optional exponent (e, E, d or D, an
// optional sign and digits). Reading stops at the first byte that cannot continue the number.
// No number gives 0; so do "inf", "nan" and hexadecimal forms. '.' is the decimal point whatever
// the locale. Correctly rounded; a value too small gives 0, one too large gives infinity.
double number_from_text(const char* text);

// Writes value into scratch_text as "%f" does, except that zero never carries a sign. Returns
// false, leaving scratch_text empty, when value is not finite or its text would not fit.
bool format_number(double value);
