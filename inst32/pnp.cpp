// Command 3: Plug and Play registration of a parallel-port printer.
#include "inst32/pnp.h"

#include "inst32/pnpenum.h"
#include "inst32/registry.h"
#include "inst32/resultcodes.h"
#include "inst32/trace.h"
#include "inst32/util32.h"

#define QZ_INF_VALUE_CHARS 256

namespace {

const BYTE kabConfigFlags[4] = {0x40, 0x00, 0x00, 0x00};  // 0x40, little-endian

COrlString ReadInfValue(const COrlString& csInfFile, LPCSTR pszSection, LPCSTR pszKey) {
  return GetInfString(csInfFile, pszSection, pszKey, "", QZ_INF_VALUE_CHARS);
}

// The device entry's values, in the order Windows' device manager lists them.
void WriteDeviceValues(COrlRegKey& hDevice, const COrlString& csInfFile, LPCSTR pszSection,
                       const COrlString& csDeviceId) {
  hDevice.SetString("Class", "PRINTER");
  COrlString csDescription = ReadInfValue(csInfFile, pszSection, "Description");
  if (csDescription.IsEmpty()) csDescription = ReadInfValue(csInfFile, pszSection, "Device");
  hDevice.SetString("DeviceDesc", csDescription);
  hDevice.SetString("Model", ReadInfValue(csInfFile, pszSection, "Model"));
  hDevice.SetString("HardwareID", COrlString("LPTENUM\\") + csDeviceId);
  hDevice.SetBinary("ConfigFlags", kabConfigFlags, sizeof kabConfigFlags);
  COrlString csManufacturer = ReadInfValue(csInfFile, pszSection, "Mfg");
  orlTranslateStringPlaceholder(csManufacturer, csInfFile);  // a plain name goes in unchanged
  hDevice.SetString("Manufacturer", csManufacturer);
}

}  // namespace

WORD CreateLptEnumEntries(LPCSTR pszInfFile, LPCSTR pszSection, LPCSTR pszPort) {
  COrlString csInfFile(pszInfFile);
  COrlString csDeviceId = ReadInfValue(csInfFile, pszSection, "Win95DeviceID");
  if (csDeviceId.IsEmpty()) return QZ_RESULT_NOTHING_DONE;

  WORD wResult = QZ_RESULT_NOTHING_DONE;
  for (INT nMatch = 0;; ++nMatch) {
    SetPnPMatchSkip(nMatch);
    COrlString csNode = GetPnPEnumKey(pszPort);
    if (csNode.IsEmpty()) return wResult;
    wResult = QZ_RESULT_OK;

    COrlString csPortSubkey = COrlString("Enum\\LPTENUM\\") + csDeviceId + "\\" + csNode;
    DbgTrace("csPortSubkey=%s\n", csPortSubkey.GetString());
    COrlRegKey hDevice;
    if (hDevice.Create(HKEY_LOCAL_MACHINE, csPortSubkey) != ERROR_SUCCESS) {
      return QZ_RESULT_KEY_NOT_CREATED;  // entries of earlier passes stay
    }
    WriteDeviceValues(hDevice, csInfFile, pszSection, csDeviceId);
  }
}

WORD RegisterPnPPrinter(const COrlString& csParam) {
  DbgTrace("COrlPrinter(%s)\n", csParam.GetString());
  COrlString csInfFile, csSection, csPort;
  SplitInstallParameter(csParam, &csInfFile, &csSection, &csPort);
  if (csPort.IsEmpty() || csInfFile.IsEmpty() || csSection.IsEmpty()) return QZ_RESULT_BAD_PARAM;

  DbgTrace("INF file=%s\nPrnSect=%s Port=%s\n", csInfFile.GetString(), csSection.GetString(),
           csPort.GetString());
  return CreateLptEnumEntries(csInfFile, csSection, csPort);
}
