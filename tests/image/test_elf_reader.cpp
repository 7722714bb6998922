#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "image/image_buffer.h"
#include "image/image_file_reader.h"
#include "support/elf_file.h"
#include "support/temp_files.h"

namespace {

// Loads a file into a blank image, as the load worker does.
struct Load {
    std::vector<std::uint8_t> image = std::vector<std::uint8_t>(ImageBuffer::kSize, 0xFF);
    ImportResult result;

    explicit Load(const QString& path) { result = loadImageFile(path, image.data(), {}).result; }
    // Whether [from, to) holds the given bytes, or, without them, is blank.
    bool Holds(std::size_t from, std::size_t to, const char* bytes = nullptr) const {
        static const std::vector<std::uint8_t> kBlank(ImageBuffer::kSize, 0xFF);
        return std::memcmp(image.data() + from, bytes ? static_cast<const void*>(bytes) : kBlank.data(), to - from) == 0;
    }
    bool blank() const { return Holds(0, image.size()); }
};

std::uint32_t Pages(std::uint64_t end) { return std::uint32_t((end + 127) / 128 * 128); }

QByteArray RandomBytes(std::mt19937& random, std::size_t n) {
    QByteArray bytes(qsizetype(n), '\0');
    for (char& b : bytes) b = char(random());
    return bytes;
}

// The bytes objcopy gives for the ELF file, placed at its lowest address, the
// gaps between segments filled as an erased chip reads.
bool ExpectObjcopysImage(const Load& load, const QString& elf, std::uint32_t lowest, TempFiles& files) {
    const QString out = files.Path("objcopy.bin");
    if (!RunTool("objcopy", {"-O", "binary", "--gap-fill", "0xFF", elf, out})) return false;
    const QByteArray expected = TempFiles::Read(out);
    EXPECT_TRUE(load.result.ok) << load.result.reason.toStdString();
    EXPECT_EQ(load.result.imageSize, Pages(lowest + std::uint64_t(expected.size())));
    const std::size_t end = lowest + std::size_t(expected.size());
    EXPECT_TRUE(load.Holds(lowest, end, expected.constData()));
    EXPECT_TRUE(load.Holds(0, lowest));
    EXPECT_TRUE(load.Holds(end, load.image.size()));
    return true;
}

// Two sections, each its own segment, with physical addresses apart from
// the virtual ones: the physical one is where the bytes belong.
QString LinkTwoSegments(TempFiles& files, bool is64, std::uint32_t first, std::uint32_t second) {
    const QStringList emulation = is64 ? QStringList{} : QStringList{"-m", "elf_i386"};
    for (const char* name : {"a", "b"})
        if (!RunTool("ld", emulation + QStringList{"-r", "-b", "binary", files.Path(QString(name) + ".bin"), "-o",
                                                   files.Path(QString(name) + ".o")}))
            return {};
    files.Write("two.ld", QString("SECTIONS {\n"
                                  "  .one 0x80000000 : AT(0x%1) { %3(.data) }\n"
                                  "  .two 0x90000000 : AT(0x%2) { %4(.data) }\n}\n")
                              .arg(first, 0, 16)
                              .arg(second, 0, 16)
                              .arg(files.Path("a.o"), files.Path("b.o"))
                              .toUtf8());
    const QString elf = files.Path("two.elf");
    if (!RunTool("ld", emulation + QStringList{"-N", "-T", files.Path("two.ld"), files.Path("a.o"),
                                               files.Path("b.o"), "-e", "0x80000000", "-o", elf}))
        return {};
    return elf;
}

}  // namespace

// Random images made into executables by ld, 32- and 64-bit, load to exactly
// the bytes objcopy takes out of them, at the address they were linked at.
TEST(ElfReader, LoadsWhatObjcopyTakesOutOfWhatLdLinked) {
    TempFiles files;
    std::mt19937 random(11);
    for (int seed = 0; seed < 300; ++seed) {
        SCOPED_TRACE(seed);
        const bool is64 = seed % 2 == 0;
        const std::size_t size = 1 + random() % (seed % 10 == 0 ? 0x20000 : 3000);
        const std::uint32_t address = std::uint32_t(random() % (ImageBuffer::kSize - size + 1));
        const QString elf = files.Path("img.elf");
        if (seed % 8 == 7) {
            // Two segments, the second somewhere above the first.
            files.Write("a.bin", RandomBytes(random, size));
            files.Write("b.bin", RandomBytes(random, 1 + random() % 500));
            const std::uint32_t first = address / 2;
            const std::uint32_t second = first + std::uint32_t(size) + std::uint32_t(random() % 0x1000);
            const QString two = LinkTwoSegments(files, is64, first, second);
            if (two.isEmpty()) GTEST_SKIP() << "no ld";
            const Load load(two);
            ASSERT_TRUE(ExpectObjcopysImage(load, two, first, files));
            EXPECT_EQ(load.result.start, 0x80000000u);
            continue;
        }
        files.Write("img.bin", RandomBytes(random, size));
        QStringList link = {"-N", "-b", "binary", files.Path("img.bin"),
                            QString("--section-start=.data=0x%1").arg(address, 0, 16), "-e", "0", "-o", elf};
        if (!is64) link = QStringList{"-m", "elf_i386"} + link;
        if (!RunTool("ld", link)) GTEST_SKIP() << "no ld";
        const Load load(elf);
        ASSERT_TRUE(ExpectObjcopysImage(load, elf, address, files));
        EXPECT_EQ(load.result.format, ImageFormat::Elf);
        EXPECT_TRUE(load.result.hasStart);
        EXPECT_EQ(load.result.start, 0u);
    }
}

// Files of either byte order and class, with a .bss tail and a segment that
// is not loaded: each segment's file bytes land at its physical address.
TEST(ElfReader, ReadsEitherByteOrderAndClass) {
    TempFiles files;
    std::mt19937 random(3);
    for (bool is64 : {false, true}) {
        for (bool big : {false, true}) {
            SCOPED_TRACE(std::to_string(is64) + std::to_string(big));
            const ElfFile maker(is64, big);
            const std::size_t at = maker.DataStart(3);
            const QByteArray data = RandomBytes(random, 300);
            const QByteArray elf = maker.Make({{PT_LOAD, at, 0x2000, 100, 400},
                                               {PT_NOTE, at + 100, 0x100, 50, 0},
                                               {PT_LOAD, at + 150, 0x1000, 150, 0}},
                                              data, 0x1004);
            const Load load(files.Write("big.axf", elf));
            ASSERT_TRUE(load.result.ok) << load.result.reason.toStdString();
            EXPECT_TRUE(load.Holds(0x2000, 0x2000 + 100, data.constData()));
            EXPECT_TRUE(load.Holds(0x1000, 0x1000 + 150, data.constData() + 150));
            EXPECT_EQ(load.image[0x100], 0xFF);     // the note
            EXPECT_EQ(load.image[0x2000 + 100], 0xFF);  // the .bss tail
            EXPECT_EQ(load.result.imageSize, Pages(0x2000 + 100));
            EXPECT_TRUE(load.result.hasStart);
            EXPECT_EQ(load.result.start, 0x1004u);
        }
    }
}

// A file that cannot be loaded whole loads nothing, and says why.
TEST(ElfReader, RefusesWhatCannotBeLoadedWhole) {
    TempFiles files;
    const ElfFile le32(false, false), be64(true, true);
    const std::size_t at1 = le32.DataStart(1), at2 = le32.DataStart(2), at64 = be64.DataStart(2);
    const QByteArray data(0x100, '\x5A');
    const QByteArray sound = le32.Make({{PT_LOAD, at1, 0x1000, 0x100, 0}}, data, 0);
    QByteArray cutHeaders = sound;
    cutHeaders[32] = 0x10;  // section headers at 0x10, 40 bytes long, in a file they do not fit
    cutHeaders[48] = 0x7F;
    struct Case { const char* name; QByteArray bytes; QString reason; };
    const Case cases[] = {
        {"header", sound.left(40), "the file ends inside its ELF header (40 of 52 bytes): a truncated ELF"},
        {"section headers", cutHeaders, "the file ends before its section headers at offset 000010: a truncated ELF"},
        {"cut data", sound.left(qsizetype(at1) + 0x80),
         QString("segment 0's data (256 bytes at offset 000054) runs past the end of the file (%1 bytes)")
             .arg(at1 + 0x80)},
        {"headers past the file", le32.Make({{PT_LOAD, at1, 0, 0x10, 0}}, data, 0, 0x1000),
         QString("the program headers (1 at offset 001000) run past the end of the file (%1 bytes)")
             .arg(at1 + 0x100)},
        {"overlap", be64.Make({{PT_LOAD, at64, 0x1000, 0x80, 0}, {PT_LOAD, at64 + 0x80, 0x107F, 0x80, 0}}, data, 0),
         "segments 0 and 1 overlap at address 00107F"},
        {"beyond 4 MiB", le32.Make({{PT_LOAD, at2, 0x1000, 0x10, 0}, {PT_LOAD, at2, 0x3FFFF8, 0x10, 0}}, data, 0),
         "segment 1 at address 3FFFF8 (16 bytes) lies outside the 4 MiB image"},
        {"far beyond", be64.Make({{PT_LOAD, at64, 0xFFFFFFFFFFFFFFF0u, 0x20, 0}, {}}, data, 0),
         "segment 0 at address FFFFFFFFFFFFFFF0 (32 bytes) lies outside the 4 MiB image"},
        {"bss only", le32.Make({{PT_LOAD, at2, 0x1000, 0, 0x100}, {PT_NOTE, at2, 0, 0x10, 0}}, data, 0),
         "the ELF file holds no loadable data"},
        {"no magic", "\x7F" "ELG" + sound.mid(4), "not an ELF file"},
        {"class 3", sound.left(4) + '\x03' + sound.mid(5), "ELF class 3 is neither 32- nor 64-bit"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Load load(files.Write("fw.elf", c.bytes));
        EXPECT_FALSE(load.result.ok);
        EXPECT_EQ(load.result.reason, c.reason);
        EXPECT_EQ(load.result.message, c.reason);  // told in a message box as well
        EXPECT_TRUE(load.blank());
    }
}
