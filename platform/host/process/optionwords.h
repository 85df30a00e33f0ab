// How near a word of the command text comes to one of the host program's own
// option words: near enough, it is taken for an option put in the wrong
// place, never passed on to the command.
#ifndef QZINST32_PLATFORM_HOST_PROCESS_OPTIONWORDS_H_
#define QZINST32_PLATFORM_HOST_PROCESS_OPTIONWORDS_H_

#include <string>

namespace qzhost {

// True when `word` is the option `own` ("--what-if"), with or without
// "=VALUE", or a slip of it: another case, '_' or no separator for '-'
// ("--WhatIf", "--what_if"), one letter missed, added, changed or two
// swapped ("--wht-if"), or one dash ("-what-if"). Short words such as "-u"
// or "/f" are never near.
bool IsNearOption(const std::string& word, const char* own);

}  // namespace qzhost

#endif  // QZINST32_PLATFORM_HOST_PROCESS_OPTIONWORDS_H_
