// Command 1: create a printer port (registry key and WIN.INI [Ports] entry).
#ifndef QZINST32_INST32_PORTCREATOR_H_
#define QZINST32_INST32_PORTCREATOR_H_

#include "inst32/orlstring.h"

// Characters of a port name that IsStandardPortName looks at, and of each
// standard prefix, each with its terminator.
#define QZ_PORT_PREFIX_CHARS 16

class COrlPortCreator {
 public:
  COrlPortCreator() = default;
  explicit COrlPortCreator(const char* pszPort) : m_csPort(pszPort) {}

  // Writes the port key under Control\Print\Ports and the WIN.INI [Ports]
  // entry, then traces the spooler's ports. FALSE when the name is refused
  // (standard or empty), or its key or its entry cannot be written.
  virtual BOOL Create(const COrlString& csPort);
  virtual BOOL Create(const char* pszPort);

  // TRUE when the name begins with "LPT", "COM" or "FILE:" (string resources
  // 25011-25013), ignoring case, kana type and width.
  BOOL IsStandardPortName(const COrlString& csPort);

  // The last port this object created.
  const COrlString& GetPort() const { return m_csPort; }

 private:
  BOOL AddProfileEntry(const COrlString& csPort);
  void TracePorts();

  COrlString m_csPort;
};

#endif  // QZINST32_INST32_PORTCREATOR_H_
