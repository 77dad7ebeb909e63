// The exported texture container interface, GT1GDataQX, over the library's TextureContainer.
#include "boundary/boundary.h"
#include "boundary/exported_codes.h"
#include "boundary/messages.h"
#include "formats/g1t_container.h"
#include "karvcore/karvcore.h"

#include <new>

namespace {

using karv::Exported;
using karv::Status;

class GT1GDataQXImpl final : public GT1GDataQX {
  public:
    int32_t OpenData(const uint8_t* data, uint32_t offset, uint32_t size, uint32_t* textureCount,
                     bool bigEndian) override;
    int32_t ExportTexture(const uint8_t* data, uint8_t*& dds, uint32_t* ddsLength,
                          std::wstring* formatName, bool seekFirst, uint32_t number) override;
    int32_t ImportTexture(uint8_t* data, const uint8_t* dds, uint32_t ddsLength, bool seekFirst,
                          uint32_t number) override;
    void CloseData() override { container.close(); }

  private:
    karv::TextureContainer container;
};

int32_t GT1GDataQXImpl::OpenData(const uint8_t* data, uint32_t offset, uint32_t size,
                                 uint32_t* textureCount, bool bigEndian) {
    uint32_t count = 0;
    Status status = container.open(data, offset, size, bigEndian, count);
    if (status)
        *textureCount = count;
    return karv::report(Exported::TextureContainer, status);
}

// On any failure the length is 0 and the caller's pointer and name are left alone.
int32_t GT1GDataQXImpl::ExportTexture(const uint8_t* data, uint8_t*& dds, uint32_t* ddsLength,
                                      std::wstring* formatName, bool seekFirst, uint32_t number) {
    *ddsLength = 0;
    karv::MallocBuffer file;
    uint32_t length = 0;
    std::wstring name;
    Status status = karv::guardMemory(
        [&] { return container.exportTexture(data, seekFirst, number, file, length, name); });
    if (status) {
        *formatName = std::move(name);
        dds = file.release();
        *ddsLength = length;
    }
    return karv::report(Exported::TextureContainer, status);
}

int32_t GT1GDataQXImpl::ImportTexture(uint8_t* data, const uint8_t* dds, uint32_t ddsLength,
                                      bool seekFirst, uint32_t number) {
    return karv::report(Exported::TextureContainer, karv::guardMemory([&] {
                            return container.importTexture(data, dds, ddsLength, seekFirst, number);
                        }));
}

} // namespace

GT1GDataQX* CreateGT1GDataInterface() {
    GT1GDataQX* object = new (std::nothrow) GT1GDataQXImpl();
    if (!object)
        SetMessageQX(karv::msg::kOutOfMemory);
    return object;
}
