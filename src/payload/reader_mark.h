/* The mark of the payload formats an installer image reads, shared by its resources and the vendor tool. */
#ifndef PAYLOAD_READER_MARK_H
#define PAYLOAD_READER_MARK_H

/* Carried in the image's resources (installer.rc), where the vendor tool finds it before it appends a payload,
   so a payload is never put behind an image that cannot read it. "1": LZMA blocks and stored blocks. */
#define PAYLOAD_READER_MARK "jitong-setup payload reader 1: lzma stored"

#endif /* PAYLOAD_READER_MARK_H */
