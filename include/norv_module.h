/* The control module as an in-process component server: the four entry points a program that
 * loads the module calls. Statuses are HRESULT values: 0 (S_OK) for success.
 *
 * DllRegisterServer records the module's type library and its two classes (the view control,
 * ProgID "NORVVIEW.NorvviewCtrl.1", and its property page, ProgID
 * "NORVVIEW.NorvviewPropPage.1") in the per-user component registry file: $NORVVIEW_REGISTRY,
 * else $XDG_CONFIG_HOME/norvview/registry.ini, else $HOME/.config/norvview/registry.ini. It gives
 * 0x80040200 when the type library cannot be recorded and 0x80040201 when the classes cannot;
 * what was recorded before a failure stays. DllUnregisterServer removes the same records in the
 * same order with the same statuses.
 *
 * DllGetClassObject gives the class object (class factory) of a class id in braced GUID text:
 * 0x80040111 for a class the module does not serve, 0x80004002 for an interface its class
 * objects lack, 0x80004003 for a null out-pointer. DllCanUnloadNow gives 0 when no object of the
 * module lives and no lock holds it, 1 otherwise. */
#ifndef NORV_MODULE_H
#define NORV_MODULE_H

#include <stdint.h>

#include "norv_export.h"

NORV_EXTERN_C_BEGIN

NORV_API int32_t DllRegisterServer(void);
NORV_API int32_t DllUnregisterServer(void);
NORV_API int32_t DllGetClassObject(const char *classId, const char *interfaceId, void **object);
NORV_API int32_t DllCanUnloadNow(void);

NORV_EXTERN_C_END

#endif
