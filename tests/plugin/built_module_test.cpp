// The built file as the host's loader sees it: read from disk and taken apart
// by its headers, not loaded.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "tests/plugin/plugin_host.h"
#include "tests/support/temp_folder.h"

namespace {

struct PeFile {
    std::string bytes;
    const IMAGE_NT_HEADERS32* nt = nullptr;

    bool Parse() {
        if (bytes.size() < sizeof(IMAGE_DOS_HEADER)) return false;
        const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(bytes.data());
        if (dos->e_magic != IMAGE_DOS_SIGNATURE) return false;
        if (static_cast<size_t>(dos->e_lfanew) + sizeof(IMAGE_NT_HEADERS32) > bytes.size())
            return false;
        nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(bytes.data() + dos->e_lfanew);
        return nt->Signature == IMAGE_NT_SIGNATURE;
    }

    // The file's bytes at a virtual address, or null when no section holds it.
    const char* At(DWORD rva) const {
        const auto* section = IMAGE_FIRST_SECTION(nt);
        for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
            const DWORD size = std::max(section->Misc.VirtualSize, section->SizeOfRawData);
            if (rva >= section->VirtualAddress && rva < section->VirtualAddress + size) {
                const DWORD offset = rva - section->VirtualAddress + section->PointerToRawData;
                return offset < bytes.size() ? bytes.data() + offset : nullptr;
            }
        }
        return nullptr;
    }

    const IMAGE_DATA_DIRECTORY& Directory(int index) const {
        return nt->OptionalHeader.DataDirectory[index];
    }

    std::vector<std::string> ExportNames() const {
        std::vector<std::string> names;
        const auto* dir = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(
            At(Directory(IMAGE_DIRECTORY_ENTRY_EXPORT).VirtualAddress));
        if (!dir) return names;
        const auto* nameRvas = reinterpret_cast<const DWORD*>(At(dir->AddressOfNames));
        for (DWORD i = 0; nameRvas && i < dir->NumberOfNames; ++i) names.emplace_back(At(nameRvas[i]));
        return names;
    }

    DWORD ExportedFunctionCount() const {
        const auto* dir = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(
            At(Directory(IMAGE_DIRECTORY_ENTRY_EXPORT).VirtualAddress));
        return dir ? dir->NumberOfFunctions : 0;
    }

    std::vector<std::string> ImportedLibraries() const {
        std::vector<std::string> names;
        const auto* desc = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(
            At(Directory(IMAGE_DIRECTORY_ENTRY_IMPORT).VirtualAddress));
        for (; desc && desc->Name; ++desc) names.emplace_back(At(desc->Name));
        return names;
    }
};

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

class BuiltModule : public testing::Test {
protected:
    void SetUp() override {
        file.bytes = ReadBytes(BuildFolder() + "Calvorinor.plg");
        ASSERT_TRUE(file.Parse()) << "Calvorinor.plg is not a PE file";
    }
    PeFile file;
};

TEST_F(BuiltModule, IsA32BitWindowsLibrary) {
    EXPECT_EQ(IMAGE_FILE_MACHINE_I386, file.nt->FileHeader.Machine);
    EXPECT_EQ(IMAGE_NT_OPTIONAL_HDR32_MAGIC, file.nt->OptionalHeader.Magic);
    EXPECT_TRUE(file.nt->FileHeader.Characteristics & IMAGE_FILE_DLL);
}

TEST_F(BuiltModule, ExportsExactlyTheThreeEntryPointsUndecorated) {
    std::vector<std::string> names = file.ExportNames();
    std::sort(names.begin(), names.end());
    EXPECT_EQ((std::vector<std::string>{"DoneModule", "GetPluginInfo", "InitGlobalModule"}), names);
    EXPECT_EQ(3u, file.ExportedFunctionCount()) << "no export by number alone";
}

TEST_F(BuiltModule, ImportsStarterByNameAndOtherwiseOnlySystemLibraries) {
    const std::set<std::string> system = {"kernel32.dll", "user32.dll", "gdi32.dll",
                                          "comctl32.dll", "msvcrt.dll", "advapi32.dll",
                                          "shell32.dll"};
    const std::vector<std::string> libraries = file.ImportedLibraries();
    EXPECT_NE(libraries.end(), std::find(libraries.begin(), libraries.end(), "STARTER.DLL"));
    for (const std::string& name : libraries) {
        if (name == "STARTER.DLL") continue;
        EXPECT_TRUE(system.count(Lower(name))) << "imports " << name;
    }
}

}  // namespace
