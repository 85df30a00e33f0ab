// Reading the three forms of a saved trace.
#include "platform/host/report/tracelines.h"

#include <map>
#include <regex>

namespace qzhost {
namespace {

// "00000012	0.00123400	[2216] text" or "12  12:01:02 PM  [2216] text":
// a number, a time of digits and separators (with AM/PM), the pid in brackets.
const std::regex kViewerLine(R"(^\s*\d+\s+[0-9.:,]+(?:\s*[AaPp][Mm])?\s+\[(\d+)\] ?(.*)$)");
// Wine: an optional pid, a thread id, the class, the channel, the function,
// then the text quoted; a long text is cut and ends with "...".
const std::regex kWineLine(
    R"(^(?:([0-9a-fA-F]{4,8}):)?([0-9a-fA-F]{4,8}):(?:trace|warn|err|fixme):debugstr:OutputDebugString[AW] L?\"(.*)\"(?:\.\.\.)?$)");
const std::regex kWineOther(R"(^(?:[0-9a-fA-F]{4,8}:){1,2}(?:trace|warn|err|fixme):)");

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Wine's debugstr escapes: \n \r \t \\ \" \', \xNN and octal \NNN.
std::string Unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    char c = text[++i];
    if (c == 'n' || c == 'r' || c == 't') {
      out += c == 'n' ? '\n' : c == 'r' ? '\r' : '\t';
    } else if (c == 'x' && i + 2 < text.size() + 1 && HexDigit(text[i + 1]) >= 0) {
      int value = 0;
      for (int n = 0; n < 2 && i + 1 < text.size() && HexDigit(text[i + 1]) >= 0; ++n)
        value = value * 16 + HexDigit(text[++i]);
      out += static_cast<char>(value);
    } else if (c >= '0' && c <= '7') {
      int value = c - '0';
      for (int n = 0; n < 2 && i + 1 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '7'; ++n)
        value = value * 8 + (text[++i] - '0');
      out += static_cast<char>(value);
    } else {
      out += c;
    }
  }
  return out;
}

// Gathers the pieces of each process and hands out whole lines.
class LineAssembler {
 public:
  explicit LineAssembler(std::vector<TraceLine>* out) : out_(out) {}
  void Add(const std::string& process, TraceForm form, size_t lineNumber, const std::string& text,
           bool pieces) {
    TraceLine& open = open_[process];
    if (open.text.empty()) {
      open.process = process;
      open.form = form;
      open.lineNumber = lineNumber;
    }
    open.text += text;
    if (!pieces) open.text += '\n';
    size_t end;
    while ((end = open.text.find('\n')) != std::string::npos) {
      TraceLine line = open;
      line.text = open.text.substr(0, end);
      if (!line.text.empty() && line.text.back() == '\r') line.text.pop_back();
      out_->push_back(line);
      open.text.erase(0, end + 1);
      open.lineNumber = lineNumber;
    }
  }
  void Finish() {
    for (auto& entry : open_)
      if (!entry.second.text.empty()) out_->push_back(entry.second);
  }

 private:
  std::vector<TraceLine>* out_;
  std::map<std::string, TraceLine> open_;
};

}  // namespace

const char* TraceFormName(TraceForm form) {
  return form == TraceForm::kViewer ? "debugview" : form == TraceForm::kWine ? "wine" : "host";
}

std::vector<TraceLine> ReadTraceLines(const std::string& log) {
  std::vector<TraceLine> lines;
  LineAssembler assembler(&lines);
  std::string process;
  TraceForm form = TraceForm::kHost;
  size_t number = 0;
  for (size_t start = 0; start < log.size();) {
    size_t end = log.find('\n', start);
    if (end == std::string::npos) end = log.size();
    std::string line = log.substr(start, end - start);
    start = end + 1;
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::smatch m;
    if (std::regex_match(line, m, kViewerLine)) {
      process = m[1];
      form = TraceForm::kViewer;
      assembler.Add(process, form, number, m[2], false);
    } else if (std::regex_match(line, m, kWineLine)) {
      process = m[1].matched ? m[1].str() : m[2].str();
      form = TraceForm::kWine;
      assembler.Add(process, form, number, Unescape(m[3]), true);
    } else if (form != TraceForm::kWine && !std::regex_search(line, kWineOther)) {
      // Wine escapes a message's line ends, so its other lines are not trace.
      assembler.Add(process, form, number, line, false);
    }
  }
  assembler.Finish();
  return lines;
}

}  // namespace qzhost
