// The print driver of command 2: "Device", "Driver", "DataFile", ... keys.
//
// Built from the printer it reads the INF and fills a DRIVER_INFO_3 record;
// built from an enumerated entry it is a temporary object to compare with.
#ifndef QZINST32_INST32_PRINTDRIVER_H_
#define QZINST32_INST32_PRINTDRIVER_H_

#include "inst32/orlstring.h"
#include "platform/win32.h"

#define QZ_DATATYPE_CHARS 32

class COrlPrinter;

class COrlPrintDriver {
 public:
  // pPrinter may be null: the object then stays empty and invalid.
  explicit COrlPrintDriver(COrlPrinter* pPrinter);
  // Copies of spooler entries; their strings still point into that buffer.
  explicit COrlPrintDriver(const DRIVER_INFO_2A* pEntry);
  explicit COrlPrintDriver(const DRIVER_INFO_3A* pEntry);
  COrlPrintDriver(const COrlPrintDriver&) = delete;
  COrlPrintDriver& operator=(const COrlPrintDriver&) = delete;

  virtual ~COrlPrintDriver();
  virtual COrlString* GetName();  // null when empty
  virtual COrlString* GetFile();  // null when empty
  virtual BOOL IsValid();
  virtual LPSTR GetDefaultDataType();  // never null
  // True when the driver is in place afterwards.
  virtual BOOL Install();

  void GetKeysFromINF(const COrlString& csSection, const COrlString& csInfFile);
  BOOL GetInfoFromINF(COrlPrinter* pPrinter);
  BOOL GetServer();
  // True when the spooler holds a driver of this name with the same files.
  BOOL IsInstalled(LPSTR pszServer);
  // True when version or one of the four file names differ.
  BOOL IsDifferent(const COrlPrintDriver* pOther) const;

  DWORD GetLevel() const { return m_dwLevel; }
  const DRIVER_INFO_2A* GetDriverInfo() const;  // null until filled

 private:
  void InitMembers();
  void TakeLevel2Texts(const DRIVER_INFO_2A* pEntry);
  DRIVER_INFO_2A* Info2() const;
  DRIVER_INFO_3A* Info3() const;  // null unless the level is 3
  void FreeDrvInfo();

  COrlString m_csName;
  COrlString m_csFile;
  COrlString m_csDataFile;
  COrlString m_csConfigFile;
  COrlString m_csHelpFile;
  COrlString m_csDependentFiles;
  BOOL m_bValid;
  LPBYTE m_pDrvInfo;  // a DRIVER_INFO_2A or DRIVER_INFO_3A, by m_dwLevel
  DWORD m_dwLevel;
  char m_acDefaultDataType[QZ_DATATYPE_CHARS];
  LPSTR m_pszServer;
};

#endif  // QZINST32_INST32_PRINTDRIVER_H_
