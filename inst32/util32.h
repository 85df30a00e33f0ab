// Setup-information (INF) strings: placeholders, "name, file" values, paths.
#ifndef QZINST32_INST32_UTIL32_H_
#define QZINST32_INST32_UTIL32_H_

#include "inst32/orlstring.h"
#include "platform/win32.h"

// Replaces a whole-value %key% by its text in the INF's [Strings] section (cut
// to 259 characters). True when the value was a placeholder with a non-empty
// text; a placeholder whose key is missing becomes empty and gives false.
BOOL orlTranslateStringPlaceholder(COrlString& value, const COrlString& infFile);

// Reads a "<name>,<file>[;comment]" value (at most 31 characters) and splits it.
// True when both parts are non-empty, or when the value is empty (both empty).
BOOL GetDelimitedPrinterObject(const COrlString* pInfFile, const COrlString* pSection,
                               LPCSTR pszKey, LPCSTR pszDefault, COrlString* pName,
                               COrlString* pFile);

// Splits the parameter of commands 2 and 3, "<inf> <section> <port>", at single
// blanks; the port keeps any further blanks. An INF path with blanks may come
// in double quotes: the field then runs to the parameter's last double quote,
// loses its quotes and must be followed by a blank. A field that is not there
// (no blank, an unclosed quote) stays empty.
void SplitInstallParameter(const COrlString& csParam, COrlString* pcsInfFile,
                           COrlString* pcsSection, COrlString* pcsPort);

// Appends the context's path separator unless the string ends with it. The
// buffer holds QZ_PATH_CHARS characters; a full buffer is left as it is.
void AppendPathSeparator(LPSTR pszDirectory);

// Copies at most nSize - 1 characters and always terminates.
LPSTR BoundedCopy(LPSTR pszDest, LPCSTR pszSource, int nSize);

// Reads an INF value into a text string through a buffer of nChars characters.
COrlString GetInfString(const COrlString& infFile, LPCSTR pszSection, LPCSTR pszKey,
                        LPCSTR pszDefault, int nChars);

// strtoul(text, NULL, 16) as the 32-bit Windows C library reads it: optional
// blanks, sign and 0x prefix; saturates at 0xFFFFFFFF; no digits give 0.
DWORD HexToDword(LPCSTR pszText);

#endif  // QZINST32_INST32_UTIL32_H_
