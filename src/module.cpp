// The control module: a shared object that links every library of the system whole and
// exports the C functions marked NORV_API. Its entry points as a component server are in
// src/ctlmodule; this file has no code of its own.
