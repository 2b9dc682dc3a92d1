// The shipped file as the host's loader sees it: read from disk and taken apart
// by its headers, not loaded.
#include <windows.h>

#include <winver.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/plugin/plugin_fixture.h"
#include "tests/shared/temp_folder.h"

namespace {

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

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

    template <typename Entry>
    const Entry* DirectoryAt(int index) const {
        return reinterpret_cast<const Entry*>(At(Directory(index).VirtualAddress));
    }

    std::vector<std::string> ExportNames() const {
        std::vector<std::string> names;
        const auto* dir = DirectoryAt<IMAGE_EXPORT_DIRECTORY>(IMAGE_DIRECTORY_ENTRY_EXPORT);
        if (!dir) return names;
        const auto* nameRvas = reinterpret_cast<const DWORD*>(At(dir->AddressOfNames));
        for (DWORD i = 0; nameRvas && i < dir->NumberOfNames; ++i)
            names.emplace_back(At(nameRvas[i]));
        return names;
    }

    DWORD ExportedFunctionCount() const {
        const auto* dir = DirectoryAt<IMAGE_EXPORT_DIRECTORY>(IMAGE_DIRECTORY_ENTRY_EXPORT);
        return dir ? dir->NumberOfFunctions : 0;
    }

    // "library function" for each import, the library's name in lower case, and
    // "library #n" for one imported by number alone.
    std::set<std::string> ImportedFunctions() const {
        std::set<std::string> names;
        const auto* desc = DirectoryAt<IMAGE_IMPORT_DESCRIPTOR>(IMAGE_DIRECTORY_ENTRY_IMPORT);
        for (; desc && desc->Name; ++desc) {
            const std::string library = Lower(At(desc->Name));
            const DWORD lookup =
                desc->OriginalFirstThunk ? desc->OriginalFirstThunk : desc->FirstThunk;
            const auto* thunk = reinterpret_cast<const IMAGE_THUNK_DATA32*>(At(lookup));
            for (; thunk && thunk->u1.AddressOfData; ++thunk) {
                if (IMAGE_SNAP_BY_ORDINAL32(thunk->u1.Ordinal)) {
                    names.insert(library + " #" +
                                 std::to_string(IMAGE_ORDINAL32(thunk->u1.Ordinal)));
                    continue;
                }
                const auto* byName =
                    reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(At(thunk->u1.AddressOfData));
                names.insert(library + " " + (byName ? byName->Name : "?"));
            }
        }
        return names;
    }

    // Each section by its name.
    std::map<std::string, const IMAGE_SECTION_HEADER*> Sections() const {
        std::map<std::string, const IMAGE_SECTION_HEADER*> sections;
        const auto* section = IMAGE_FIRST_SECTION(nt);
        for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section)
            sections[Name(*section)] = section;
        return sections;
    }

    // Names longer than eight characters live in the string table as "/offset".
    std::string Name(const IMAGE_SECTION_HEADER& section) const {
        const std::string shortName(
            reinterpret_cast<const char*>(section.Name),
            strnlen(reinterpret_cast<const char*>(section.Name), IMAGE_SIZEOF_SHORT_NAME));
        if (shortName.empty() || shortName[0] != '/') return shortName;
        const size_t table =
            nt->FileHeader.PointerToSymbolTable + nt->FileHeader.NumberOfSymbols * size_t{18};
        const size_t offset = table + std::stoul(shortName.substr(1));
        if (!nt->FileHeader.PointerToSymbolTable || offset >= bytes.size()) return shortName;
        return bytes.c_str() + offset;
    }

    std::vector<std::string> ImportedLibraries() const {
        std::vector<std::string> names;
        const auto* desc = DirectoryAt<IMAGE_IMPORT_DESCRIPTOR>(IMAGE_DIRECTORY_ENTRY_IMPORT);
        for (; desc && desc->Name; ++desc) names.emplace_back(At(desc->Name));
        return names;
    }
};

// "library function" for each entry of the approved imports list, as
// ImportedFunctions() names them; text after "#" is a note.
std::set<std::string> ApprovedImports(const std::string& list) {
    std::set<std::string> names;
    std::istringstream lines(list);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line.substr(0, line.find('#')));
        std::string library, function;
        if (fields >> library >> function) names.insert(Lower(library) + " " + function);
    }
    return names;
}

// The version resource's string of that name, in English (United States).
std::string VersionString(const std::vector<char>& info, const std::string& name) {
    void* value = nullptr;
    UINT length = 0;
    const std::string key = "\\StringFileInfo\\040904B0\\" + name;
    if (!VerQueryValueA(info.data(), key.c_str(), &value, &length) || !length) return "";
    return static_cast<const char*>(value);
}

class BuiltModule : public testing::Test {
protected:
    void SetUp() override {
        file.bytes = ReadBytes(ShippedModule());
        ASSERT_TRUE(file.Parse()) << "Calvorinor.plg is not a PE file";
    }
    PeFile file;
    const std::set<std::string> approved =
        ApprovedImports(ReadBytes(BuildFolder() + "approved_imports.txt"));
};

// Windows XP SP3 is the oldest system the host runs on; a loader refuses a
// module whose header asks for a later one.
TEST_F(BuiltModule, IsA32BitWindowsLibraryForXp) {
    EXPECT_EQ(IMAGE_FILE_MACHINE_I386, file.nt->FileHeader.Machine);
    EXPECT_EQ(IMAGE_NT_OPTIONAL_HDR32_MAGIC, file.nt->OptionalHeader.Magic);
    EXPECT_TRUE(file.nt->FileHeader.Characteristics & IMAGE_FILE_DLL);
    const IMAGE_OPTIONAL_HEADER32& header = file.nt->OptionalHeader;
    const auto version = [](WORD major, WORD minor) { return major * 100 + minor; };
    EXPECT_LE(version(header.MajorOperatingSystemVersion, header.MinorOperatingSystemVersion), 501);
    EXPECT_LE(version(header.MajorSubsystemVersion, header.MinorSubsystemVersion), 501);
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
    for (const std::string& name : libraries)
        EXPECT_TRUE(name == "STARTER.DLL" || system.count(Lower(name))) << "imports " << name;
}

// An import that XP lacks stops the module from loading there at all; a new one
// must be checked and added to the list first.
TEST_F(BuiltModule, ImportsExactlyTheApprovedFunctionsAndNoThreadControl) {
    ASSERT_FALSE(approved.empty()) << "approved_imports.txt is missing beside the tests";
    const std::set<std::string> imported = file.ImportedFunctions();
    for (const std::string& name : imported)
        EXPECT_TRUE(approved.count(name))
            << "imports " << name << ", which tests/plugin/approved_imports.txt does not list";
    for (const std::string& name : approved)
        EXPECT_TRUE(imported.count(name))
            << "no longer imports " << name << ": drop it from tests/plugin/approved_imports.txt";
    // A tips editor never needs these: the first two tie it to Vista and later,
    // the rest make a module loaded into another program look like one that
    // hijacks it.
    for (const char* name : {"kernel32.dll GetTickCount64", "kernel32.dll InitOnceExecuteOnce",
                             "kernel32.dll SuspendThread", "kernel32.dll GetThreadContext",
                             "kernel32.dll SetThreadContext", "kernel32.dll CreateThread",
                             "msvcrt.dll _beginthreadex"}) {
        EXPECT_FALSE(imported.count(name)) << name;
        EXPECT_FALSE(approved.count(name)) << name;
    }
}

// Equal sources give equal bytes only without a time stamp; the host may load the
// module at any address, so its relocations must survive stripping; the debug
// information lives in the file its debug link names.
TEST_F(BuiltModule, IsStrippedRelocatableAndCarriesNoTimeStamp) {
    EXPECT_EQ(0u, file.nt->FileHeader.TimeDateStamp);
    EXPECT_FALSE(file.nt->FileHeader.Characteristics & IMAGE_FILE_RELOCS_STRIPPED);
    EXPECT_GT(file.Directory(IMAGE_DIRECTORY_ENTRY_BASERELOC).Size, 0u);
    const auto sections = file.Sections();
    for (const auto& [name, section] : sections)
        EXPECT_NE(0u, name.rfind(".debug", 0)) << "debug section " << name << " was shipped";
    ASSERT_TRUE(sections.count(".gnu_debuglink")) << "no debug link";
    const DWORD link = sections.at(".gnu_debuglink")->PointerToRawData;
    ASSERT_LT(link, file.bytes.size());
    EXPECT_STREQ("Calvorinor.plg.debug", file.bytes.c_str() + link);
}

TEST_F(BuiltModule, CarriesTheProjectVersionInEnglish) {
    const std::string path = ShippedModule();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    ASSERT_GT(size, 0u) << "no version resource, error " << GetLastError();
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, info.data()));

    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", &value, &length));
    ASSERT_GE(length, 4u);
    const auto* translation = static_cast<const WORD*>(value);
    EXPECT_EQ(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), translation[0]);
    EXPECT_EQ(1200, translation[1]);

    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", &value, &length));
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    EXPECT_EQ(0xFEEF04BDu, fixed->dwSignature);
    EXPECT_EQ(static_cast<DWORD>(VFT_DLL), fixed->dwFileType);
    const std::string numbers = std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
                                std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
                                std::to_string(HIWORD(fixed->dwFileVersionLS)) + "." +
                                std::to_string(LOWORD(fixed->dwFileVersionLS));
    EXPECT_EQ(CALVORINOR_FILE_VERSION, numbers);
    EXPECT_EQ(fixed->dwFileVersionMS, fixed->dwProductVersionMS);
    EXPECT_EQ(fixed->dwFileVersionLS, fixed->dwProductVersionLS);

    EXPECT_EQ(CALVORINOR_FILE_VERSION, VersionString(info, "FileVersion"));
    EXPECT_EQ(CALVORINOR_FILE_VERSION, VersionString(info, "ProductVersion"));
    EXPECT_EQ("Calvorinor.plg", VersionString(info, "OriginalFilename"));
    for (const char* name : {"FileDescription", "ProductName", "InternalName", "LegalCopyright"})
        EXPECT_NE("", VersionString(info, name)) << name;
}

}  // namespace
