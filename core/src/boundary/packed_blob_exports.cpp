// The exported packed-blob lookup, GetData_Offset: it sets no message.
#include "boundary/exported_codes.h"
#include "karvcore/karvcore.h"
#include "karvcore/packed_blob.h"

int32_t GetData_Offset(const uint8_t* blob, uint32_t blobLength, uint32_t subFile, uint32_t* start,
                       uint32_t* size, bool bigEndian) {
    uint32_t first = 0, bytes = 0;
    karv::Status status = karv::LocateSubFile(blob, blobLength, subFile, bigEndian, first, bytes);
    if (status) {
        *start = first;
        *size = bytes;
    }
    return karv::exportedCode(karv::Exported::DataOffset, status);
}
