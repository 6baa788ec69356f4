/* The mark of the payload formats an installer image reads, shared by its resources and the vendor tool. */
#ifndef PAYLOAD_READER_MARK_H
#define PAYLOAD_READER_MARK_H

/* Carried in the image's resources (installer.rc), where the vendor tool finds it before it appends a payload,
   so a payload is never put behind an image that cannot read it. The prefix is followed by the revision, a
   decimal number, and a colon: revision 1 reads LZMA blocks and stored blocks; revision 2 also the manifest. */
#define PAYLOAD_READER_MARK_PREFIX "jitong-setup payload reader "
#define PAYLOAD_READER_MARK        PAYLOAD_READER_MARK_PREFIX "2: lzma stored manifest"

/* The revisions the vendor tool tells apart: what an image of each reads beyond LZMA blocks. */
#define PAYLOAD_READER_STORED   1
#define PAYLOAD_READER_MANIFEST 2

#endif /* PAYLOAD_READER_MARK_H */
