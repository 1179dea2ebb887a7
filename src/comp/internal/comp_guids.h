// The fixed identifiers of the view control's type library, interfaces and classes, shared by
// the control module and the viewer. They never change between releases.
#ifndef COMP_GUIDS_H
#define COMP_GUIDS_H

namespace comp {

inline constexpr const char *kTypeLibId = "{6B1F3C20-7A4E-4D2B-9C51-3E8A0F6D2B10}";
inline constexpr unsigned kTypeLibMajor = 1;
inline constexpr unsigned kTypeLibMinor = 0;
inline constexpr const char *kDispatchInterfaceId = "{6B1F3C21-7A4E-4D2B-9C51-3E8A0F6D2B10}";
inline constexpr const char *kEventInterfaceId = "{6B1F3C22-7A4E-4D2B-9C51-3E8A0F6D2B10}";
inline constexpr const char *kControlClassId = "{6B1F3C23-7A4E-4D2B-9C51-3E8A0F6D2B10}";
inline constexpr const char *kPropertyPageClassId = "{6B1F3C24-7A4E-4D2B-9C51-3E8A0F6D2B10}";

}  // namespace comp

#endif
