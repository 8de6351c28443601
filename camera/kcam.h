/* Camera driver contract: a shared library loaded at run time that exports these nine
 * C entry points. The handset looks all nine up and refuses a library that lacks one.
 *
 * Frames are 96x80 in the frame layout: 7,680 luma bytes (80 rows of 96, first row is
 * the bottom line of the scene), then 1,920 byte pairs V, U (NV21), one per 2x2 block.
 * The driver calls the frame callback on a thread of its own, once per frame, from a
 * successful Camera_Begin until Camera_End. */
#ifndef KESTRELIO_CAMERA_KCAM_H_
#define KESTRELIO_CAMERA_KCAM_H_

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define KCAM_FRAME_WIDTH 96
#define KCAM_FRAME_HEIGHT 80
#define KCAM_FRAME_BYTES 11520

/* Capture request, a little-endian byte record. Offsets 0..75 are the classic 76-byte
 * request (capture size 640x480 at 4/8, source rectangle at 12..24, output rectangle
 * 0,0,95,79 at 32..44, second rectangle at 60..72). The 32-bit callback slot at 52
 * cannot hold a 64-bit address: it stays 0, and the record grows by two 64-bit fields
 * at 8-byte-aligned offsets after the classic part: the callback address at 80 and an
 * opaque context pointer at 88 that the driver passes back with every frame (so the
 * callback needs no global state). */
#define KCAM_REQUEST_BYTES 96
#define KCAM_REQUEST_CALLBACK_OFFSET 80
#define KCAM_REQUEST_CONTEXT_OFFSET 88

typedef void (*KcamFrameCallback)(void* context, const uint8_t* frame);

/* Camera_Init(mode, result, 0, 0): writes 0 to *result on success, else an error code. */
typedef int (*KcamInitFn)(uint32_t mode, uint32_t* result, uint32_t reserved1,
                          uint32_t reserved2);
/* Camera_Begin(request): non-zero on success. */
typedef int (*KcamBeginFn)(const uint8_t* request);
/* Camera_End(): stops streaming; no callback runs after it returns. */
typedef int (*KcamEndFn)(void);
/* Camera_Deinit(): non-zero on success. */
typedef int (*KcamDeinitFn)(void);
typedef int (*KcamSetPropertyFn)(uint32_t property_id, const uint32_t* value);
typedef int (*KcamGetPropertyFn)(uint32_t property_id, uint32_t* value);
/* Looked up for completeness; the handset never calls these three. */
typedef int (*KcamEncodeJpegFn)(void* args);
typedef int (*KcamSetRecordParamsFn)(void* args);
typedef int (*KcamJpegExifInfoFn)(void* args);

#ifdef __cplusplus
}
#endif

#endif /* KESTRELIO_CAMERA_KCAM_H_ */
