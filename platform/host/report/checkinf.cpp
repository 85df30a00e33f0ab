// INF pre-flight: the printer section as commands 2 and 3 read it.
//
// Each value is taken as the profile call gives it to the program (blanks
// and one pair of quotes removed), cut to the buffer the program reads it
// into, and then judged as the program would use it.
#include "platform/host/report/checkinf.h"

#include <ctype.h>
#include <stdio.h>
#include <string.h>
#include <strings.h>

#include <algorithm>
#include <string_view>

#include "platform/host/machine/hostfile.h"
#include "platform/host/machine/hostutf8.h"
#include "platform/host/machine/machine.h"
#include "platform/host/profile/inifile.h"
#include "platform/host/profile/profilecache.h"
#include "platform/host/report/jsontext.h"

namespace qzhost {
namespace {

// Characters each value keeps: its buffer less the terminator.
const size_t kPrinterNameChars = 31;
const size_t kDriverNameChars = 63;
const size_t kFileNameChars = 15;
const size_t kDataTypeChars = 31;
const size_t kVersionChars = 125;
const size_t kAttributesChars = 15;
const size_t kDelimitedChars = 31;
const size_t kParamsChars = 31;
const size_t kPnpChars = 255;
const size_t kStringsChars = 259;

// Every key of a printer section that a command reads.
const char* const kKnownKeys[] = {
    "device",      "MakeDefault",     "Attributes",     "ConfigFile",
    "DataFile",    "HelpFile",        "Driver",         "DefaultDataType",
    "DrvVersion",  "LanguageMonitor", "PrintProcessor", "PrintProcessorParam",
    "PortMonitor", "Win95DeviceID",   "Description",    "Model",
    "Mfg"};

// Edits (insert, delete, replace) between two names, without regard to case.
size_t EditDistance(const std::string& a, const std::string& b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      size_t above = row[j];
      bool same = tolower(static_cast<unsigned char>(a[i - 1])) ==
                  tolower(static_cast<unsigned char>(b[j - 1]));
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

const char* NearestKnownKey(const std::string& key) {
  const char* nearest = kKnownKeys[0];
  size_t best = ~size_t{0};
  for (const char* known : kKnownKeys) {
    size_t d = EditDistance(key, known);
    if (d < best) best = d, nearest = known;
  }
  return nearest;
}

// Directives of a Windows INF install section, read by Windows' own setup
// and not by the commands; a printer section may carry them.
const char* const kSetupDirectives[] = {"CopyFiles", "DelFiles",   "RenFiles",   "AddReg",
                                        "DelReg",    "UpdateInis", "Include",    "Needs",
                                        "BitReg",    "LogConfig",  "DataSection"};

bool IsKnownKey(const std::string& key) {
  for (const char* known : kKnownKeys)
    if (strcasecmp(key.c_str(), known) == 0) return true;
  for (const char* directive : kSetupDirectives)
    if (strcasecmp(key.c_str(), directive) == 0) return true;
  return false;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string TrimRight(std::string s) {
  while (!s.empty() && IsBlank(s.back())) s.pop_back();
  return s;
}

std::string TrimLeft(const std::string& s) {
  size_t i = 0;
  while (i < s.size() && IsBlank(s[i])) ++i;
  return s.substr(i);
}

bool IsPlaceholder(const std::string& v) {
  return !v.empty() && v.front() == '%' && v.back() == '%';
}

// A value between quotes, long ones shortened for the message.
std::string Quoted(const std::string& s) {
  return "\"" + (s.size() > 60 ? s.substr(0, 57) + "..." : s) + "\"";
}

// The hexadecimal reading of the program: blanks, a sign, an optional 0x and
// digits up to the first other character; saturates at 0xFFFFFFFF. *clean
// tells whether the whole value was such a number.
unsigned long HexValue(const std::string& text, bool* clean) {
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = i < text.size() && text[i] == '-';
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  if (text.compare(i, 2, "0x") == 0 || text.compare(i, 2, "0X") == 0) {
    if (i + 2 < text.size() && isxdigit(static_cast<unsigned char>(text[i + 2]))) i += 2;
  }
  size_t digits = i;
  unsigned long long value = 0;
  for (; i < text.size() && isxdigit(static_cast<unsigned char>(text[i])); ++i) {
    char c = static_cast<char>(tolower(static_cast<unsigned char>(text[i])));
    value = value * 16 + static_cast<unsigned>(c <= '9' ? c - '0' : c - 'a' + 10);
    if (value > 0xFFFFFFFFull) value = 0x1FFFFFFFFull;
  }
  *clean = i > digits && i == text.size() && value <= 0xFFFFFFFFull;
  if (value > 0xFFFFFFFFull) return 0xFFFFFFFFul;
  unsigned long result = static_cast<unsigned long>(value);
  return negative ? (0x100000000ull - result) & 0xFFFFFFFFul : result;
}

std::string Hex(unsigned long v) {
  char text[16];
  snprintf(text, sizeof text, "0x%lX", v);
  return text;
}

class SectionCheck {
 public:
  SectionCheck(const IniFile& ini, const std::string& section, bool isNT, InfCheck* check)
      : ini_(ini), section_(section), isNT_(isNT), out_(&check->problems), check_(check) {}

  void Run() {
    CheckKeys();
    CheckPrinterName();
    CheckDriver();
    CheckVersionAndAttributes();
    CheckDelimited("LanguageMonitor", "language monitor", &check_->monitorFiles);
    std::string processor =
        CheckDelimited("PrintProcessor", "print processor", &check_->processorFiles);
    if (!processor.empty() && processor != "WinPrint") {
      CheckLength("PrintProcessorParam", kParamsChars, "the print processor's parameters");
      if (!isNT_) {
        Report(InfProblem::kError, "PrintProcessor",
               "the installer adds its own print processors for \"Windows NT x86\", which a "
               "Windows 98 spooler refuses (1805): on this machine command 2 ends with 1045",
               "write PrintProcessor=WinPrint,WINPRINT.DLL (or leave the value empty) for "
               "Windows 98, whose own WinPrint is then used, or install on Windows NT");
      }
    }
    CheckDelimited("PortMonitor", "port monitor", &check_->monitorFiles);
    CheckPlugAndPlay();
  }

 private:
  bool Find(const char* key, std::string* value) const {
    std::string_view v;
    if (!ini_.FindValue(section_, key, &v)) return false;
    *value = std::string(v.substr(0, v.find('\0')));
    return true;
  }

  size_t LineOf(const std::string& key) const {
    size_t line = ini_.KeyLine(section_, key);
    return line ? line : ini_.SectionLine(section_);
  }

  void Report(InfProblem::Severity severity, const std::string& key, const std::string& message,
              const std::string& fix) {
    out_->push_back({severity, LineOf(key), key, message, fix});
  }

  // The [Strings] text of a placeholder as the program reads it; false when
  // there is none (or it is empty), which the program takes as a failure.
  bool Translate(const std::string& placeholder, std::string* text) const {
    std::string key = placeholder.substr(1, placeholder.size() >= 2 ? placeholder.size() - 2 : 0);
    std::string_view v;
    if (key.empty() || !ini_.FindValue("Strings", key, &v)) return false;
    // The program reads the text up to a NUL, as every value.
    v = v.substr(0, std::min(v.find('\0'), kStringsChars));
    if (v.empty()) return false;
    *text = std::string(v);
    return true;
  }

  // Reports a value longer than the characters it keeps; returns what it keeps.
  std::string CheckLength(const char* key, size_t keep, const std::string& what) {
    std::string value;
    if (!Find(key, &value)) return {};
    if (value.size() > keep) {
      Report(InfProblem::kWarning, key,
             std::to_string(value.size()) + " characters; " + what + " keeps the first " +
                 std::to_string(keep) + ": " + Quoted(value.substr(0, keep)),
             "shorten it to " + std::to_string(keep) + " characters");
    }
    return value.substr(0, keep);
  }

  // Keys no command reads (a misspelt key is silently ignored: its part is
  // then left out of the installation), and NUL bytes, which end a value
  // where the program reads it.
  void CheckKeys() {
    for (std::string_view name : ini_.KeyNames(section_)) {
      std::string key(name);
      if (!IsKnownKey(key)) {
        const char* nearest = NearestKnownKey(key);
        bool close = EditDistance(key, nearest) <= std::max<size_t>(2, key.size() / 3);
        Report(InfProblem::kWarning, key,
               "no command reads this key; " +
                   (close ? "did you mean " + std::string(nearest) + "?"
                          : "the nearest key a command reads is " + std::string(nearest)),
               "rename it to " + std::string(nearest) + ", or remove it");
      }
      std::string_view value;
      if (ini_.FindValue(section_, key, &value) && value.find('\0') != std::string_view::npos) {
        size_t at = value.find('\0');
        Report(InfProblem::kError, key,
               "a NUL byte after " + std::to_string(at) +
                   " characters: the program reads the value only up to it: " +
                   Quoted(std::string(value.substr(0, at))),
               "remove the NUL byte (the file may have been saved as UTF-16)");
      }
    }
  }

  // A file name cut to its buffer names a file that does not exist.
  void CheckFileName(const char* key) {
    std::string value;
    if (!Find(key, &value) || value.size() <= kFileNameChars) return;
    Report(InfProblem::kError, key,
           std::to_string(value.size()) + " characters; the file name keeps the first " +
               std::to_string(kFileNameChars) + ": " + Quoted(value.substr(0, kFileNameChars)) +
               ", a file that does not exist",
           "rename the file to at most " + std::to_string(kFileNameChars) +
               " characters (an 8.3 name fits)");
  }

  void CheckPrinterName() {
    std::string device;
    if (!Find("device", &device) || device.empty()) {
      Report(InfProblem::kError, "device",
             "no value: the printer has no name and the driver none; command 2 ends with 1045",
             "add device=<printer name of at most 31 characters>");
      return;
    }
    check_->driverName = device.substr(0, kDriverNameChars);
    CheckLength("device", kPrinterNameChars, "the printer name");
    std::string driverName = device.substr(0, kDriverNameChars);
    if (device.size() > kDriverNameChars) {
      Report(InfProblem::kWarning, "device",
             std::to_string(device.size()) + " characters; the driver name keeps the first 63" +
                 (IsPlaceholder(device) ? ", which are no placeholder any more" : ""),
             "shorten it to 63 characters");
    }
    if (!IsPlaceholder(driverName)) return;
    std::string text;
    check_->driverName.clear();
    if (!Translate(driverName, &text)) {
      Report(InfProblem::kError, "device",
             "the placeholder " + driverName +
                 " has no text in [Strings]: the driver gets no name; command 2 ends with 1045",
             "add " + driverName.substr(1, driverName.size() - 2) + "=<driver name> to [Strings]");
    } else {
      check_->driverName = text;
      Report(InfProblem::kWarning, "device",
             "the printer is named " + Quoted(device.substr(0, kPrinterNameChars)) +
                 " as written; only the driver name is translated, to " + Quoted(text),
             "write the printer name itself");
    }
  }

  void CheckDriver() {
    std::string file;
    if (!Find("Driver", &file) || file.empty()) {
      Report(InfProblem::kError, "Driver",
             "no value: the driver has no file; command 2 ends with 1045",
             "add Driver=<file name of at most 15 characters>");
    }
    for (const char* key : {"Driver", "DataFile", "ConfigFile", "HelpFile"}) {
      CheckFileName(key);
      std::string value;
      if (Find(key, &value) && !value.empty())
        check_->driverFiles.push_back({key, LineOf(key), "", value.substr(0, kFileNameChars)});
    }
    CheckLength("DefaultDataType", kDataTypeChars, "the default data type");
  }

  void CheckHex(const char* key, size_t keep, const std::string& use) {
    std::string full;
    if (!Find(key, &full)) return;
    std::string text = CheckLength(key, keep, use);
    bool clean = false;
    unsigned long value = HexValue(text, &clean);
    if (!clean) {
      Report(InfProblem::kWarning, key,
             Quoted(text) + " is not a hexadecimal number; the program reads it as " + Hex(value) +
                 " for " + use,
             "write it as hexadecimal digits, optionally after 0x");
    }
  }

  void CheckVersionAndAttributes() {
    CheckHex("DrvVersion", kVersionChars, "the driver version");
    std::string makeDefault;
    bool isDefault = !Find("MakeDefault", &makeDefault) || makeDefault.empty() ||
                     ProfileIntOf(makeDefault, isNT_) != 0;
    if (isDefault) CheckHex("Attributes", kAttributesChars, "the printer attributes");
  }

  // A "<name>,<file>[;comment]" value as GetDelimitedPrinterObject reads it.
  // Returns the name it gives (empty for none, or on a failure).
  // A usable one is added to *files (WinPrint, built in, is not).
  std::string CheckDelimited(const char* key, const std::string& what,
                             std::vector<InfComponentFile>* files) {
    std::string full;
    Find(key, &full);
    size_t fullComma = full.find(',');
    // The file runs from after the comma to a ";" or the end, less blanks.
    size_t fileEnd = fullComma == std::string::npos
                         ? 0
                         : TrimRight(full.substr(0, full.find(';', fullComma))).size();
    bool fileCut = fullComma != std::string::npos && fileEnd > kDelimitedChars &&
                   full.find_first_not_of(" \t", fullComma + 1) < kDelimitedChars;
    if (fileCut) {
      std::string kept = TrimRight(full.substr(0, kDelimitedChars));
      Report(InfProblem::kError, key,
             std::to_string(full.size()) + " characters; the value keeps the first " +
                 std::to_string(kDelimitedChars) + ", so its file becomes " +
                 Quoted(TrimLeft(kept.substr(fullComma + 1))) + ", a file that does not exist",
             "shorten the name or the file name: \"name,file\" must fit in " +
                 std::to_string(kDelimitedChars) + " characters");
    }
    std::string value =
        fileCut ? full.substr(0, kDelimitedChars) : CheckLength(key, kDelimitedChars, "the value");
    if (value.empty()) return what == "print processor" ? "WinPrint" : "";
    size_t comma = value.find(',');
    std::string name = comma == std::string::npos ? "" : TrimRight(value.substr(0, comma));
    std::string fail = "; the " + what + " is invalid and command 2 ends with 1045";
    if (!name.empty() && name[0] == '%') {
      std::string text;
      if (!IsPlaceholder(name) || name.size() < 2) {
        Report(InfProblem::kError, key,
               "the name " + Quoted(name) + " is no whole placeholder" + fail,
               "write %KEY% with its closing percent sign, or the name itself");
        return {};
      }
      if (!Translate(name, &text)) {
        Report(InfProblem::kError, key,
               "the placeholder " + name + " has no text in [Strings]" + fail,
               "add " + name.substr(1, name.size() - 2) + "=<" + what + " name> to [Strings]");
        return {};
      }
      name = text;
    }
    std::string file = TrimLeft(comma == std::string::npos ? value : value.substr(comma + 1));
    file = TrimRight(file.substr(0, file.find(';')));
    if (comma == std::string::npos) {
      Report(InfProblem::kError, key,
             Quoted(value) +
                 " has no comma: the value is read as \"name,file\", so all of it "
                 "is the file and the name is missing" +
                 fail,
             "write " + std::string(key) + "=<name>,<file>" +
                 (what == "print processor" ? " (PrintProcessor=WinPrint,WINPRINT.DLL for "
                                              "Windows' own)"
                                            : ""));
      return {};
    }
    if (name.empty()) {
      Report(InfProblem::kError, key, Quoted(value) + " has no name" + fail,
             "write " + std::string(key) + "=<name>,<file>");
      return {};
    }
    if (file.empty()) {
      Report(InfProblem::kError, key, Quoted(value) + " has no file" + fail,
             "write " + std::string(key) + "=<name>,<file>");
      return {};
    }
    if (IsPlaceholder(file)) {
      Report(InfProblem::kWarning, key,
             "the file " + file + " is used as written: only the name part is translated",
             "write the file name itself");
    }
    if (what != "print processor" || name != "WinPrint")
      files->push_back({key, LineOf(key), name, file});
    return name;
  }

  void CheckPlugAndPlay() {
    std::string id;
    if (!Find("Win95DeviceID", &id) || id.empty()) {
      Report(InfProblem::kWarning, "Win95DeviceID",
             "no value: command 3 writes no device entry and ends with 1024",
             "add Win95DeviceID=<the printer's Plug and Play device identifier>");
    }
    for (const char* key : {"Win95DeviceID", "Description", "Model", "Mfg"})
      CheckLength(key, kPnpChars, "command 3");
    std::string mfg;
    std::string text;
    if (Find("Mfg", &mfg) && IsPlaceholder(mfg.substr(0, kPnpChars)) &&
        !Translate(mfg.substr(0, kPnpChars), &text)) {
      Report(InfProblem::kWarning, "Mfg",
             "the placeholder " + mfg +
                 " has no text in [Strings]: command 3 writes an empty "
                 "\"Manufacturer\"",
             "add " + mfg.substr(1, mfg.size() - 2) + "=<manufacturer> to [Strings]");
    }
  }

  const IniFile& ini_;
  std::string section_;
  bool isNT_;
  std::vector<InfProblem>* out_;
  InfCheck* check_;
};

// An INF saved as UTF-8 (as Linux editors save it) is read by Windows in the
// machine's code page: a non-ASCII name then arrives as other characters.
// The message quotes the name as the program gets it, in the code page.
void CheckUtf8(const std::string& path, const IniFile& ini, const std::string& section,
               unsigned codePage, InfCheck* check) {
  std::string text, why;
  if (!ReadWholeFile(path, &text, &why) || !IsNonAsciiUtf8(text)) return;
  size_t line = 1 + static_cast<size_t>(std::count(
                        text.begin(),
                        std::find_if(text.begin(), text.end(),
                                     [](char c) { return static_cast<unsigned char>(c) >= 0x80; }),
                        '\n'));
  std::string_view device;
  std::string named;
  if (ini.FindValue(section, "device", &device))
    named = "; the printer is named \"" +
            std::string(device.substr(0, std::min<size_t>(device.size(), kPrinterNameChars))) +
            "\"";
  check->problems.push_back(
      {InfProblem::kWarning, line, "",
       "the file is UTF-8 with non-ASCII characters, which Windows reads in the machine's code "
       "page " +
           std::to_string(codePage) + named,
       "save the INF in code page " + std::to_string(codePage) + " (iconv -f UTF-8 -t " +
           (codePage == 932 ? "CP932" : "CP1252") + ")"});
}

}  // namespace

std::string ShellWord(const std::string& word) {
  if (!word.empty() && word.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                              "0123456789/._-+:,=@%") == std::string::npos)
    return word;
  std::string quoted = "'";
  for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

size_t InfCheck::Errors() const {
  size_t errors = 0;
  for (const InfProblem& p : problems) errors += p.severity == InfProblem::kError;
  return errors;
}

bool InfCheck::Fails(bool strict) const { return strict ? !problems.empty() : Errors() > 0; }

InfCheck CheckPrinterInf(const std::string& infFile, const std::string& section, unsigned codePage,
                         bool isNT) {
  InfCheck check;
  // The file as command 2 takes it from its parameter: in double quotes it
  // may hold blanks, without them the parameter is split at the first.
  bool quoted = infFile.size() >= 2 && infFile.front() == '"' && infFile.back() == '"';
  std::string file = quoted ? infFile.substr(1, infFile.size() - 2) : infFile;
  check.path = MapWindowsPath(file);
  if (section.empty() || section.find(' ') != std::string::npos) {
    check.problems.push_back({InfProblem::kError, 0, "",
                              "the section name " + Quoted(section) +
                                  " cannot be passed: the command parameter splits at blanks",
                              "name the section without blanks"});
  }
  if (!quoted && file.find(' ') != std::string::npos) {
    check.problems.push_back(
        {InfProblem::kError, 0, "",
         "the INF path has blanks: command 2 splits its parameter at the first one, unless the "
         "path stands in double quotes; without them command 2 ends with 1045",
         "write the path in double quotes in the command parameter (2 \"" + file + "\" " + section +
             " PORT), and check it as written: qzinst32 --check-inf " +
             ShellWord("\"" + file + "\"") + " " + section});
  }
  LoadedProfile loaded;
  int error = 0;
  if (check.path.empty() || !LoadProfile(check.path, codePage, &loaded, &error) || !loaded.exists) {
    std::string why = check.path.empty() ? "not a path the machine can map"
                      : error            ? strerror(error)
                                         : "no such file";
    check.problems.push_back(
        {InfProblem::kError, 0, "",
         "cannot read " + (check.path.empty() ? file : check.path) + " (" + why +
             "); command 2 ends with 1045",
         "give the INF's path (a bare file name is looked for in C:\\WINDOWS)"});
    return check;
  }
  if (!loaded.file->HasSection(section)) {
    check.problems.push_back({InfProblem::kError, 0, "",
                              "no section [" + section + "]; command 2 ends with 1045",
                              "give the name of a printer section of the file"});
    return check;
  }
  SectionCheck(*loaded.file, section, isNT, &check).Run();
  CheckUtf8(check.path, *loaded.file, section, codePage, &check);
  std::stable_sort(check.problems.begin(), check.problems.end(),
                   [](const InfProblem& a, const InfProblem& b) { return a.line < b.line; });
  return check;
}

std::string FormatInfCheck(const InfCheck& check, const std::string& infFile,
                           const std::string& section, bool strict) {
  std::string text;
  for (const InfProblem& p : check.problems) {
    bool error = p.severity == InfProblem::kError;
    // The findings quote the INF's text, in the machine's code page.
    text += infFile + ":" + (p.line ? std::to_string(p.line) + ":" : "") +
            (error ? " error: [" : " warning: [") + section + "] " +
            (p.key.empty() ? "" : p.key + ": ") + ForTerminal(PreparedCodePage(), p.message) + "\n";
    text += "    fix: " + ForTerminal(PreparedCodePage(), p.fix) + "\n";
  }
  size_t errors = check.Errors();
  size_t warnings = check.problems.size() - errors;
  const char* verdict = errors               ? "command 2 would fail or install what does not exist"
                        : strict && warnings ? "warnings fail with --strict"
                                             : "command 2 would find nothing in the section "
                                               "that stops it";
  text += infFile + " [" + section + "]: " + std::to_string(errors) + " error(s), " +
          std::to_string(warnings) + " warning(s); " + verdict + "\n";
  return text;
}

std::string InfCheckJson(const InfCheck& check, const std::string& infFile,
                         const std::string& section, bool strict) {
  std::string findings;
  for (const InfProblem& p : check.problems) {
    if (!findings.empty()) findings += ", ";
    findings += JsonObject()
                    .Add("file", infFile)
                    .AddNumber("line", p.line)
                    .Add("key", p.key)
                    .Add("severity", p.severity == InfProblem::kError ? "error" : "warning")
                    .Add("message", p.message)
                    .Add("fix", p.fix)
                    .Text();
  }
  size_t errors = check.Errors();
  return JsonObject()
      .Add("file", infFile)
      .Add("path", check.path)
      .Add("section", section)
      .AddNumber("errors", errors)
      .AddNumber("warnings", check.problems.size() - errors)
      .AddBool("strict", strict)
      .AddBool("passed", !check.Fails(strict))
      .AddRaw("findings", "[" + findings + "]")
      .Text();
}

}  // namespace qzhost
