// Records the streams that Tabrill sends to SheetHost during a search, a jump and a few failing
// calls, by playing the client against a session over the fuzz target's books and keeping every
// byte the client sent. Each file is one seed of automation_frames: a byte that chooses how the
// target cuts the stream into reads, then the stream.
//
//   make_seeds <folder>

#include "fuzz/automation/FrameCheck.h"
#include "fuzz/automation/FuzzWorkbook.h"
#include "platform/automation/ServerSession.h"
#include "platform/automation/Wire.h"
#include "sheethost/server/ObjectModel.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QtEndian>
#include <cstdio>
#include <cstdlib>
#include <type_traits>
#include <map>
#include <utility>
#include <vector>

using namespace Automation;

namespace {

// Excel's constants as Tabrill passes them.
constexpr std::int32_t XlValues = -4163;
constexpr std::int32_t XlFormulas = -4123;
constexpr std::int32_t XlComments = -4144;
constexpr std::int32_t XlPart = 2;
constexpr std::int32_t XlByRows = 1;
constexpr std::int32_t XlNext = 1;

// An argument: a value, or an object of the session given by its reference.
struct Arg
{
    Arg(Variant v) : value(std::move(v)) {}
    Arg(const Wire::ObjectRef& ref) : object(ref), isObject(true) {}
    Variant value;
    Wire::ObjectRef object;
    bool isObject = false;
};

struct Result
{
    HRESULT hr = S_OK;
    Variant value;
    Wire::ObjectRef object; // when the value is an object
};

// A client that speaks the wire protocol to an in-process session, resolving each member name
// once per names tag, as Tabrill's proxies do.
class Recorder
{
public:
    explicit Recorder(SheetHost::Application& application)
        : session_(SheetHost::CreateApplicationObject(application))
    {
    }

    const QByteArray& stream() const { return stream_; }
    int errors() const { return errors_; }

    Wire::ObjectRef hello()
    {
        Wire::Writer w(Wire::Type::Hello, serial_++);
        w.bytes(Wire::Magic, sizeof Wire::Magic);
        w.u16(Wire::Version);
        Wire::ObjectRef root;
        exchange(w.frame(), [&](Wire::Reader& r) {
            r.u16();
            root.id = r.u64();
            root.namesTag = r.u64();
        });
        return root;
    }

    Result call(const Wire::ObjectRef& target, const QString& member, WORD flags,
                std::vector<Arg> arguments = {})
    {
        Result result;
        const DISPID id = resolve(target, member, result.hr);
        if (FAILED(result.hr))
            return result;
        Wire::Writer w(Wire::Type::Invoke, serial_++);
        w.u64(target.id);
        w.i32(id);
        w.u32(0x0411);
        w.u16(flags);
        w.u32(std::uint32_t(arguments.size()));
        // Sent reversed, as the dispatch interface takes them.
        for (auto it = arguments.rbegin(); it != arguments.rend(); ++it) {
            if (it->isObject) {
                w.u16(VT_DISPATCH);
                w.u64(it->object.id);
                w.u64(it->object.namesTag);
            } else if (!w.variant(it->value, [](IDispatch*, Wire::ObjectRef&) { return false; })) {
                std::fprintf(stderr, "make_seeds: a value that cannot be sent\n");
                std::exit(1);
            }
        }
        w.u32(0);
        result.hr = exchange(w.frame(), [&](Wire::Reader& r) {
            r.variant(result.value, [&](const Wire::ObjectRef& ref, ComPtr<IDispatch>&) {
                result.object = ref;
                return S_OK;
            });
        });
        return result;
    }
    Result get(const Wire::ObjectRef& target, const QString& member,
               std::vector<Arg> arguments = {})
    {
        return call(target, member, DISPATCH_PROPERTYGET, std::move(arguments));
    }
    Result method(const Wire::ObjectRef& target, const QString& member,
                  std::vector<Arg> arguments = {})
    {
        return call(target, member, DISPATCH_METHOD, std::move(arguments));
    }

    void release(const std::vector<Wire::ObjectId>& ids)
    {
        Wire::Writer w(Wire::Type::Release, serial_++);
        w.u32(std::uint32_t(ids.size()));
        for (const Wire::ObjectId id : ids)
            w.u64(id);
        exchange(w.frame(), nullptr);
    }

    // Bytes sent as they are, for the frames no proper client makes.
    void raw(const QByteArray& frame) { exchange(frame, nullptr); }
    std::uint32_t nextSerial() { return serial_++; }

private:
    DISPID resolve(const Wire::ObjectRef& target, const QString& member, HRESULT& hr)
    {
        const auto key = std::make_pair(target.namesTag, member.toLower());
        if (target.namesTag != 0) {
            if (const auto known = names_.find(key); known != names_.end())
                return known->second;
        }
        Wire::Writer w(Wire::Type::GetIDsOfNames, serial_++);
        w.u64(target.id);
        w.u32(0x0411);
        w.u32(1);
        w.string(member);
        DISPID id = -1;
        hr = exchange(w.frame(), [&](Wire::Reader& r) {
            r.u32();
            id = r.i32();
        });
        if (SUCCEEDED(hr) && target.namesTag != 0)
            names_[key] = id;
        return id;
    }

    template <typename Read> HRESULT exchange(const QByteArray& frame, Read read)
    {
        stream_ += frame;
        session_.receive(frame.constData(), std::size_t(frame.size()));
        const QByteArray out = session_.takeOutput();
        if (out.isEmpty())
            return S_OK;
        Wire::Reader reader(out.constData() + 4, std::size_t(out.size() - 4));
        const auto type = Wire::Type(reader.u8());
        reader.u32();
        if (type == Wire::Type::ErrorReply) {
            ++errors_;
            return reader.i32();
        }
        if constexpr (!std::is_same_v<Read, std::nullptr_t>)
            read(reader);
        return S_OK;
    }

    ServerSession session_;
    QByteArray stream_;
    std::uint32_t serial_ = 1;
    int errors_ = 0;
    std::map<std::pair<std::uint64_t, QString>, DISPID> names_;
};

// Workbooks, their sheets and every match of word, reading each cell as the result list does.
void Search(Recorder& client, const QString& word, std::int32_t lookIn)
{
    const Wire::ObjectRef application = client.hello();
    const Result books = client.get(application, QStringLiteral("Workbooks"));
    std::vector<Wire::ObjectId> held{books.object.id};
    const Result bookCount = client.get(books.object, QStringLiteral("Count"));
    for (std::int32_t b = 1; b <= bookCount.value.lVal(); ++b) {
        const Result book = client.get(books.object, QStringLiteral("item"), {Variant::FromI4(b)});
        held.push_back(book.object.id);
        client.get(book.object, QStringLiteral("Name"));
        const Result sheets = client.get(book.object, QStringLiteral("WorkSheets"));
        held.push_back(sheets.object.id);
        const Result sheetCount = client.get(sheets.object, QStringLiteral("Count"));
        for (std::int32_t s = 1; s <= sheetCount.value.lVal(); ++s) {
            const Result sheet =
                client.get(sheets.object, QStringLiteral("item"), {Variant::FromI4(s)});
            held.push_back(sheet.object.id);
            client.get(sheet.object, QStringLiteral("Name"));
            const Result used = client.get(sheet.object, QStringLiteral("UsedRange"));
            held.push_back(used.object.id);
            Result found = client.method(
                used.object, QStringLiteral("Find"),
                {Variant::FromBstr(word), Variant::Missing(), Variant::FromI4(lookIn),
                 Variant::FromI4(XlPart), Variant::FromI4(XlByRows), Variant::FromI4(XlNext),
                 Variant::FromBool(false), Variant::FromBool(false)});
            QString first;
            for (int guard = 0; guard < 50 && found.object.id != 0; ++guard) {
                held.push_back(found.object.id);
                const QString address =
                    client.get(found.object, QStringLiteral("Address")).value.bstrVal();
                std::printf("  found %s\n", qUtf8Printable(address));
                if (address == first)
                    break;
                if (first.isEmpty())
                    first = address;
                client.get(found.object, QStringLiteral("Column"));
                client.get(found.object, QStringLiteral("Row"));
                client.get(found.object, QStringLiteral("Text"));
                client.get(found.object, QStringLiteral("Formula"));
                const Result comment = client.get(found.object, QStringLiteral("Comment"));
                if (comment.object.id != 0) {
                    held.push_back(comment.object.id);
                    client.method(comment.object, QStringLiteral("Text"));
                }
                found = client.method(used.object, QStringLiteral("FindNext"),
                                      {Arg(found.object)});
            }
        }
    }
    client.release(held);
}

// The jump to a listed cell: the sheet, then the cell activated.
void Jump(Recorder& client)
{
    const Wire::ObjectRef application = client.hello();
    const Result books = client.get(application, QStringLiteral("Workbooks"));
    const Result book = client.get(books.object, QStringLiteral("item"),
                                   {Variant::FromBstr(QStringLiteral("売上管理.xlsx"))});
    const Result sheets = client.get(book.object, QStringLiteral("WorkSheets"));
    const Result sheet =
        client.get(sheets.object, QStringLiteral("item"), {Variant::FromBstr(QStringLiteral("メモ"))});
    client.method(sheet.object, QStringLiteral("Activate"));
    const Result cell = client.get(sheet.object, QStringLiteral("Cells"),
                                   {Variant::FromI4(2), Variant::FromI4(3)});
    client.method(cell.object, QStringLiteral("Activate"));
    client.get(cell.object, QStringLiteral("Address"));
    client.release({cell.object.id, sheet.object.id, sheets.object.id, book.object.id,
                    books.object.id});
}

// Calls that fail: unknown names, wrong types, missing books and cells, released objects,
// a frame of an unknown type and a second greeting.
void Failures(Recorder& client)
{
    const Wire::ObjectRef application = client.hello();
    client.get(application, QStringLiteral("NoSuchMember"));
    const Result books = client.get(application, QStringLiteral("Workbooks"));
    client.get(books.object, QStringLiteral("item"), {Variant::FromI4(99)});
    client.get(books.object, QStringLiteral("item"), {Variant::FromBstr(QStringLiteral("無い.xlsx"))});
    client.get(books.object, QStringLiteral("item"), {Variant::FromR8(1.5)});
    client.get(books.object, QStringLiteral("item"), {});
    const Result book = client.get(books.object, QStringLiteral("item"), {Variant::FromI4(1)});
    const Result sheets = client.get(book.object, QStringLiteral("Worksheets"));
    const Result sheet = client.get(sheets.object, QStringLiteral("item"), {Variant::FromI2(1)});
    client.get(sheet.object, QStringLiteral("Cells"), {Variant::FromI4(0), Variant::FromI4(1)});
    client.get(sheet.object, QStringLiteral("Cells"),
               {Variant::FromI4(1048577), Variant::FromI4(16385)});
    const Result used = client.get(sheet.object, QStringLiteral("UsedRange"));
    client.method(used.object, QStringLiteral("Find"), {});
    client.method(used.object, QStringLiteral("Find"),
                  {Variant::FromBstr(QStringLiteral("売上")), Variant::FromI4(3)});
    client.method(used.object, QStringLiteral("Find"),
                  {Variant::FromBstr(QStringLiteral("売上")), Variant::Missing(),
                   Variant::FromI4(XlComments), Variant::FromI4(7)});
    client.method(used.object, QStringLiteral("FindNext"), {Arg(sheet.object)});
    client.method(used.object, QStringLiteral("Find"),
                  {Variant::FromBstr(QString()), Variant::Missing(), Variant::FromI4(XlFormulas)});
    client.release({sheet.object.id});
    client.get(sheet.object, QStringLiteral("Name"));
    client.release({sheet.object.id});
    Wire::Writer unknown(Wire::Type(0x42), client.nextSerial());
    unknown.u32(1);
    client.raw(unknown.frame());
    client.hello();
}

bool Save(const QString& folder, const QString& name, char split, const QByteArray& stream)
{
    QFile file(folder + u'/' + name);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const QByteArray bytes = QByteArray(1, split) + stream;
    return file.write(bytes) == bytes.size();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds <folder>\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);
    SheetHost::Application application;
    FuzzAutomation::AddBooks(application);

    struct Seed
    {
        const char* name;
        void (*record)(Recorder&);
        std::vector<char> splits;
    };
    const Seed seeds[] = {
        {"search-values", [](Recorder& c) { Search(c, QStringLiteral("売上"), XlValues); }, {0, 1, 5}},
        {"search-formulas", [](Recorder& c) { Search(c, QStringLiteral("=A"), XlFormulas); }, {0, 40}},
        {"search-comments", [](Recorder& c) { Search(c, QStringLiteral("メモ"), XlComments); }, {0}},
        {"jump", Jump, {0, 2}},
        {"failures", Failures, {0, 3}},
    };
    for (const Seed& seed : seeds) {
        Recorder client(application);
        seed.record(client);
        for (const char split : seed.splits) {
            const QString name =
                QStringLiteral("%1-split%2.bin").arg(QString::fromLatin1(seed.name)).arg(int(split));
            if (!Save(folder, name, split, client.stream())) {
                std::fprintf(stderr, "make_seeds: cannot write %s\n", qUtf8Printable(name));
                return 1;
            }
        }
        std::printf("%s: %lld bytes, %zu frames, %d error replies\n", seed.name,
                    qlonglong(client.stream().size()),
                    FuzzAutomation::Requests(client.stream()).size(), client.errors());
    }
    return 0;
}
