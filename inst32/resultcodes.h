// The 16-bit result codes a run can end with.
#ifndef QZINST32_INST32_RESULTCODES_H_
#define QZINST32_INST32_RESULTCODES_H_

#define QZ_RESULT_OK 0x0000
#define QZ_RESULT_RUNNING 0x0100       // another instance is running
#define QZ_RESULT_NO_CONTEXT 0x0301    // the install context could not be allocated
#define QZ_RESULT_FAILED_BIT 0x0400    // set on every command failure
#define QZ_RESULT_NOTHING_DONE 0x0400  // nothing found, or nothing could be opened
#define QZ_RESULT_BAD_PARAM 0x0402     // bad or missing parameter
#define QZ_RESULT_UNKNOWN_CMD 0x0003   // leaves the dispatcher as 0x0403
#define QZ_RESULT_KEY_NOT_CREATED 0x0404
#define QZ_RESULT_PORT_NOT_CREATED 0x0006  // leaves the dispatcher as 0x0406
#define QZ_RESULT_NO_DRIVER_OBJ 0x0410
#define QZ_RESULT_NO_PORTMON_OBJ 0x0411
#define QZ_RESULT_NO_LANGMON_OBJ 0x0412
#define QZ_RESULT_NO_PRINTPROC_OBJ 0x0413
#define QZ_RESULT_NO_PRINTER_INFO 0x0414
#define QZ_RESULT_INSTALL_FAILED 0x0415
#define QZ_RESULT_ADD_PRINTER_FAILED 0x0416

#endif  // QZINST32_INST32_RESULTCODES_H_
