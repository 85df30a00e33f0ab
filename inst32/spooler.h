// Spooler helpers shared by the commands: the two-call enumeration.
#ifndef QZINST32_INST32_SPOOLER_H_
#define QZINST32_INST32_SPOOLER_H_

#include <new>

#include "platform/win32.h"

// Environment names passed with spooler components.
#define QZ_ENV_WIN40 "Windows 4.0"
#define QZ_ENV_NTX86 "Windows NT x86"

enum EnumOutcome {
  kEnumFilled,    // the second call succeeded; Count() records are in the buffer
  kEnumNoMemory,  // the buffer of the needed size could not be allocated
  kEnumFailed     // the second call failed; GetLastError holds the reason
};

// Asks for the size with a first call (its result is not tested), allocates
// exactly that many bytes and fills them with a second call. The buffer is
// released with the object.
class COrlEnumBuffer {
 public:
  COrlEnumBuffer() = default;
  ~COrlEnumBuffer() { delete[] m_pBuffer; }
  COrlEnumBuffer(const COrlEnumBuffer&) = delete;
  COrlEnumBuffer& operator=(const COrlEnumBuffer&) = delete;

  // call(buffer, cbBuf, &cbNeeded, &cReturned) is one spooler enumeration.
  template <typename Call>
  EnumOutcome Fill(Call call) {
    DWORD cbNeeded = 0;
    m_cReturned = 0;
    call(nullptr, 0, &cbNeeded, &m_cReturned);
    m_pBuffer = new (std::nothrow) BYTE[cbNeeded];
    if (m_pBuffer == nullptr) return kEnumNoMemory;
    m_cReturned = 0;
    if (!call(m_pBuffer, cbNeeded, &cbNeeded, &m_cReturned)) return kEnumFailed;
    return kEnumFilled;
  }

  template <typename Record>
  const Record* Records() const {
    return reinterpret_cast<const Record*>(m_pBuffer);
  }
  DWORD Count() const { return m_cReturned; }

 private:
  BYTE* m_pBuffer = nullptr;
  DWORD m_cReturned = 0;
};

class COrlString;

// Adds a monitor (level 2, the local spooler, the environment of the running
// system) and traces the outcome. A monitor that is present already counts as
// added: Windows 9x answers 183 and Windows NT 3006 for any monitor it has.
BOOL AddSpoolerMonitor(COrlString& csName, COrlString& csFile);

#endif  // QZINST32_INST32_SPOOLER_H_
