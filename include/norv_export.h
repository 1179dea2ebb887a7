/* Marks the C functions that the control module exports; everything else stays hidden. */
#ifndef NORV_EXPORT_H
#define NORV_EXPORT_H

#define NORV_API __attribute__((visibility("default")))

#ifdef __cplusplus
#define NORV_EXTERN_C_BEGIN extern "C" {
#define NORV_EXTERN_C_END }
#else
#define NORV_EXTERN_C_BEGIN
#define NORV_EXTERN_C_END
#endif

#endif
