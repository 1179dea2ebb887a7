// The fixed identifiers of the view control's type library, interfaces and classes, shared by
// the control module and the viewer: declared with the host interface (host/norv_host.h), so
// that programs hosting the control use the same ones.
#ifndef COMP_GUIDS_H
#define COMP_GUIDS_H

#include "host/norv_host.h"

#endif
