// The service's parameter encoding: a dictionary of values flattened into
// "key=value" components joined by "&".
//
//  - text and numbers give one component (numbers in decimal, booleans 1 or 0);
//  - an array under k gives one component per element, keyed "k[]", in order;
//  - a dictionary under k gives one component per entry, keyed "k[entry]";
//  - null values give nothing.
// Only values are percent-escaped (see EscapeFormValue); keys go as they are.
// Components follow the dictionary's order, which callers must not rely on.
#pragma once

#include <string>
#include <string_view>

#include "platform/value.h"

namespace service {

// Writes every byte of `text` that is a blank, one of ?!@#$^&%*+=,:;'"`<>()[]{}/\|~
// or outside printable ASCII as "%" and two upper-case hexadecimal digits.
std::string EscapeFormValue(std::string_view text);

// The decimal text of a scalar value as it goes on the wire ("1"/"0" for booleans,
// the shortest round-trip form for reals).
std::string FormText(const platform::Value& value);

// The shortest text that reads back as `value` ("39.9", not "39.900001525878906").
std::string FloatText(float value);

// The query string of a parameter dictionary (empty for null or an empty dictionary).
std::string QueryStringFromParameters(const platform::Value& parameters);

}  // namespace service
