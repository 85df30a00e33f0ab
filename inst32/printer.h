// Command 2: the printer object, owner of the four printer support objects.
//
// The printer parses "<inf file> <section> <port>", reads its name, creates
// its support objects (port monitor, language monitor, print processor,
// driver), installs them (print processor, port monitor, language monitor,
// driver) and adds itself with AddPrinterA. Its status is the command's result.
#ifndef QZINST32_INST32_PRINTER_H_
#define QZINST32_INST32_PRINTER_H_

#include "inst32/orlstring.h"
#include "platform/win32.h"

class COrlPrintDriver;
class COrlPortMonitor;
class COrlLangMonitor;
class COrlPrintProcessor;

class COrlPrinter {
 public:
  // pParam may be null; a parameter without all three fields records 1026.
  explicit COrlPrinter(const COrlString* pParam);
  COrlPrinter(const COrlPrinter&) = delete;
  COrlPrinter& operator=(const COrlPrinter&) = delete;

  // The support objects call back through these; keep them in this order.
  virtual ~COrlPrinter();
  virtual BOOL IsInstalled();
  virtual int GetStatus() const;
  virtual COrlString* GetPrinterName();  // null when empty
  virtual COrlString* GetPortName();     // null when empty
  virtual COrlString* GetInfFile();      // never null
  virtual COrlString* GetPrinterSection();
  // These forward to a support object and need it to exist.
  virtual COrlString* GetDriverName();
  virtual COrlString* GetDriverFile();
  virtual COrlString* GetPortMonitorName();
  virtual COrlString* GetPortMonitorFile();
  virtual COrlString* GetLangMonitorName();
  virtual COrlString* GetLangMonitorFile();
  virtual COrlString* GetPrintProcessorName();
  virtual COrlString* GetPrintProcessorFile();

  // True when the printer was added. On false GetStatus holds the reason.
  BOOL Install();
  int CreateSupportObjects();
  // Fills m_PrnInfo2; false when a name the spooler requires is missing.
  BOOL GetPrinterInfo();
  LPSTR GetServerName();
  LPSTR GetDataType();
  DWORD GetAttributes();
  void Configure();
  void LockDownObjects();
  void UnlockObjects();

  const PRINTER_INFO_2A& GetPrinterInfoRecord() const { return m_PrnInfo2; }

 private:
  BOOL InstallSupportObjects();
  void AddToSpooler();

  COrlString m_csName;
  COrlString m_csPort;
  COrlString m_csInfFile;
  COrlString m_csPrnSect;
  COrlPrintDriver* m_pDriver;
  COrlPortMonitor* m_pPortMonitor;
  COrlLangMonitor* m_pLangMonitor;
  COrlPrintProcessor* m_pPrintProcessor;
  PRINTER_INFO_2A m_PrnInfo2;
  HANDLE m_hPrinter;
  BOOL m_bConfigured;
  int m_nStatus;
};

#endif  // QZINST32_INST32_PRINTER_H_
