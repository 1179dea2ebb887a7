// The module's version resource: its file description and file version, kept as text in the
// section ".norvview.version" of the shared object, where tools read them without loading it
// (readelf -p .norvview.version libNorvviewCtl.so).
namespace ctlmod {

[[gnu::used, gnu::section(".norvview.version")]] extern const char kVersionResource[] =
    "FileDescription=Norvview ActiveX Control Module\n"
    "FileVersion=0, 0, 16, 0\n";

}  // namespace ctlmod
