#include "platform/PrintSpooler.h"

#include <gtest/gtest.h>

namespace {

// What real drivers report: a v4 class driver lists its pipeline's
// configuration among full paths in any case; v3 drivers do not, whatever
// other attributes (package aware, sandboxed) they carry.
TEST(PrintSpooler, XpsDriversGetXpsPassAndAllOthersRaw) {
    const std::wstring folder = L"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\";
    struct Case {
        std::vector<std::wstring> files;
        uint32_t attributes;
        const char* type;
    };
    const Case cases[] = {
        {{}, 0, "RAW"},
        {{folder + L"UNIDRV.DLL", folder + L"ZDesigner.gpd"}, 0x1 | 0x4, "RAW"},
        {{folder + L"PipelineConfig.xml.bak", folder + L"mypipelineconfig.xml"}, 0, "RAW"},
        {{folder + L"MSxpsPCL6.dll", folder + L"PipelineConfig.xml"}, 0, "XPS_PASS"},
        {{L"pipelineconfig.xml"}, 0, "XPS_PASS"},
        {{L"/opt/drivers/PIPELINECONFIG.XML"}, 0, "XPS_PASS"},
        {{folder + L"UNIDRV.DLL"}, platform::kPrinterDriverXps, "XPS_PASS"},
        {{}, platform::kPrinterDriverXps | 0x1, "XPS_PASS"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.type, platform::DataTypeForDriver(c.files, c.attributes))
            << (c.files.empty() ? 0 : c.files.back().size()) << " " << c.attributes;
    }
}

}  // namespace
