// The control module: a shared object that links every library of the system whole and
// exports the C functions marked NORV_API. It has no code of its own yet.
