// Bounded fuzzing of the wire record (TSocketInfo::ParseText, BuildText,
// GetMsgType) and of the connection service's read path, which take bytes
// from anybody on the network. Random bytes and mutated records must never
// crash the reader, and whatever it reads as a whole record must survive
// being written and read again. The service gets random byte streams in
// random pieces on real connections, between valid handshakes and login
// reports, and must still answer correctly, lose no connection and leave
// no login row open.
//
// The seed is fixed; VQ_FUZZ_SEED picks another and VQ_FUZZ_ROUNDS sets how
// many inputs each record test tries (the service test sends one stream per
// hundred rounds). Run under the sanitizer build (see the top
// CMakeLists.txt) to catch memory faults too. With VQ_FUZZ_VERBOSE set, the
// service test writes every stream to standard error before sending it, so
// that a crash can be traced to its bytes.
#include "program_fixture.h"
#include "programtesthelpers.h"

#include "connectionservice.h"
#include "mwsocket.h"
#include "operatordialogs.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QTcpSocket>
#include <QTest>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace {

const QByteArray kSep = kFieldSeparator;
const QString kBoxText = QStringLiteral("接收的信息不正确！");
const QString kBoxCaption = QStringLiteral("内部错");

unsigned fuzzSeed()
{
    const char* seed = std::getenv("VQ_FUZZ_SEED");
    return seed ? static_cast<unsigned>(std::strtoul(seed, nullptr, 10)) : 20260514u;
}

int fuzzRounds(int fallback)
{
    const char* rounds = std::getenv("VQ_FUZZ_ROUNDS");
    return rounds ? std::max(1, std::atoi(rounds)) : fallback;
}

// Bytes as hex for a failure message (the first kilobyte and the size).
std::string hex(const QByteArray& bytes)
{
    std::string out = bytes.left(1024).toHex(' ').toStdString();
    if (bytes.size() > 1024)
        out += " ... (" + std::to_string(bytes.size()) + " bytes)";
    return out.empty() ? "(empty)" : out;
}

// Answers every box at once, as an operator who is not there would, and
// counts them; the boxes of the record reader come often under fuzzing, so
// only their texts are kept apart from those of any other box.
class CountingSilentOperator : public SilentOperator {
public:
    CountingSilentOperator() : previous_(&operatorDialogs()) { setOperatorDialogs(this); }
    ~CountingSilentOperator() override { setOperatorDialogs(previous_); }
    CountingSilentOperator(const CountingSilentOperator&) = delete;
    CountingSilentOperator& operator=(const CountingSilentOperator&) = delete;

    void showInfo(const QString& text, const QString& caption) override
    {
        if (text == kBoxText && caption == kBoxCaption)
            ++recordBoxes;
        else
            otherInfos.append(QStringLiteral("info [%1] %2").arg(caption, text));
    }
    void showError(const QString& text, const QString& caption) override
    {
        others.append(QStringLiteral("error [%1] %2").arg(caption, text));
    }
    DialogAnswer askYesNo(const QString& text, const QString& caption) override
    {
        others.append(QStringLiteral("question [%1] %2").arg(caption, text));
        return SilentOperator::askYesNo(text, caption);
    }

    long long recordBoxes = 0;   // the reader's box of a short record
    QStringList otherInfos;      // any other information box
    QStringList others;          // error boxes and questions

private:
    OperatorDialogs* previous_;
};

// ---- the record reader's contract, checked independently ----------------------

// The text cut at every separator: one field more than separators.
QList<QByteArray> splitAtSeparators(const QByteArray& text)
{
    QList<QByteArray> out;
    qsizetype from = 0, at;
    while ((at = text.indexOf(kSep, from)) >= 0) {
        out.append(text.mid(from, at - from));
        from = at + kSep.size();
    }
    out.append(text.mid(from));
    return out;
}

bool isNullWord(const QByteArray& field)
{
    return field.size() == 4 && QByteArray(field).toLower() == "null";
}

// A field written exactly as QByteArray::number writes a 32-bit integer.
std::optional<int> canonicalInteger(const QByteArray& field)
{
    bool ok = false;
    const long long value = field.toLongLong(&ok);
    if (!ok || value < INT_MIN || value > INT_MAX || QByteArray::number(value) != field)
        return std::nullopt;
    return static_cast<int>(value);
}

bool hasDigit(const QByteArray& field)
{
    for (char c : field)
        if (c >= '0' && c <= '9')
            return true;
    return false;
}

// A record's nine members, for comparing and printing.
std::string dump(const TSocketInfo& r)
{
    std::string out = std::to_string(r.MsgType) + "|" + std::to_string(r.Value1) + "|" + std::to_string(r.Value2);
    for (const QByteArray* t : {&r.Text3, &r.Text4, &r.Text5, &r.Text6, &r.Text7, &r.Text8})
        out += "|" + t->toHex().toStdString();
    return out;
}

// A record holding values no parse produces from a text, to see whether a
// parse left it alone.
TSocketInfo sentinelRecord()
{
    TSocketInfo r;
    r.MsgType = 424242;
    r.Value1 = -424242;
    r.Value2 = 4242;
    r.Text3 = "s3";
    r.Text4 = "s4";
    r.Text5 = "s5";
    r.Text6 = "s6";
    r.Text7 = "s7";
    r.Text8 = "s8";
    return r;
}

// Reads `text` as the service does and checks what the header promises:
//  - fewer than nine fields (fewer than eight separators): one box, and the
//    record is left as it was;
//  - otherwise no box; texts 3 to 8 are the fields as sent, "null" in any
//    letter case read as empty; fields 0 to 2 written as plain integers read
//    as those, fields without a digit as -1, 0 and 1; GetMsgType of the text
//    is the record's type;
//  - the record written again is nine fields each with its separator (an
//    empty text as "null", the integers as numbers), which reads back to
//    the very same record without a box and writes the same bytes again.
// Returns an empty text when all holds, else what broke.
std::string checkRecordRoundTrip(const QByteArray& text, CountingSilentOperator& dialogs)
{
    const QList<QByteArray> fields = splitAtSeparators(text);
    const bool nine = fields.size() >= 9;

    TSocketInfo r = sentinelRecord();
    const long long boxesBefore = dialogs.recordBoxes;
    r.ParseText(text);
    const long long boxes = dialogs.recordBoxes - boxesBefore;
    if (boxes != (nine ? 0 : 1))
        return std::to_string(fields.size()) + " fields gave " + std::to_string(boxes) + " boxes";
    const int type = GetMsgType(text);
    if (!nine) {
        if (dump(r) != dump(sentinelRecord()))
            return "a short record changed the record: " + dump(r);
        if (const auto first = canonicalInteger(fields[0]); first && type != *first)
            return "GetMsgType read " + std::to_string(type) + " from a first field " + fields[0].toStdString();
        if (!hasDigit(fields[0]) && type != -1)
            return "GetMsgType read " + std::to_string(type) + " from a first field without digits";
        return {};
    }

    const QByteArray* texts[] = {&r.Text3, &r.Text4, &r.Text5, &r.Text6, &r.Text7, &r.Text8};
    for (int i = 3; i < 9; ++i) {
        const QByteArray expected = isNullWord(fields[i]) ? QByteArray() : fields[i];
        if (*texts[i - 3] != expected)
            return "text " + std::to_string(i) + " read as " + hex(*texts[i - 3]) + ", sent " + hex(fields[i]);
    }
    const int integers[] = {r.MsgType, r.Value1, r.Value2};
    const int defaults[] = {-1, 0, 1};
    for (int i = 0; i < 3; ++i) {
        if (const auto value = canonicalInteger(fields[i]); value && integers[i] != *value)
            return "field " + std::to_string(i) + " read as " + std::to_string(integers[i]) + ", sent " +
                   fields[i].toStdString();
        if (!hasDigit(fields[i]) && integers[i] != defaults[i])
            return "field " + std::to_string(i) + " without digits read as " + std::to_string(integers[i]);
    }
    if (type != r.MsgType)
        return "GetMsgType " + std::to_string(type) + " differs from the record's type " + std::to_string(r.MsgType);

    const QByteArray built = r.BuildText();
    if (built.count(kSep) != 9 || !built.endsWith(kSep))
        return "the record was written as " + hex(built);
    const QList<QByteArray> builtFields = splitAtSeparators(built);
    for (int i = 3; i < 9; ++i)
        if (builtFields[i].isEmpty())
            return "an empty text was written as nothing instead of null";
    for (int i = 0; i < 3; ++i)
        if (builtFields[i] != QByteArray::number(integers[i]))
            return "field " + std::to_string(i) + " written as " + builtFields[i].toStdString();
    TSocketInfo again = sentinelRecord();
    const long long boxesBeforeAgain = dialogs.recordBoxes;
    again.ParseText(built);
    if (dialogs.recordBoxes != boxesBeforeAgain)
        return "the written record showed a box when read: " + hex(built);
    if (dump(again) != dump(r))
        return "the written record read back as " + dump(again) + " instead of " + dump(r);
    if (again.BuildText() != built)
        return "the record read back was written differently";
    if (GetMsgType(built) != r.MsgType)
        return "GetMsgType of the written record is " + std::to_string(GetMsgType(built));
    return {};
}

// ---- inputs -------------------------------------------------------------------

// A random byte, biased towards the ones the reader looks at: the two
// separator bytes, digits, signs and the letters of "null".
char biasedByte(std::mt19937& random)
{
    static const char interesting[] = "\x0A\x1A\x0A\x1A" "0123456789+-nulNUL";
    if (random() % 3 == 0)
        return interesting[random() % (sizeof interesting - 1)];
    return static_cast<char>(random() % 256);
}

QByteArray randomBytes(std::mt19937& random, int maxLength)
{
    QByteArray out(static_cast<qsizetype>(random() % (maxLength + 1)), '\0');
    for (char& c : out)
        c = biasedByte(random);
    return out;
}

// A field as clients send them, or one at the edges of what the reader takes.
QByteArray randomField(std::mt19937& random)
{
    static const QByteArray pieces[] = {
        "", "null", "NULL", "Null", "nul", " null", "nulls", "0", "1", "2", "-1", "+7", "-0", "007", "2147483647",
        "2147483648", "-2147483648", "-2147483649", "99999999999999999999", "1x", "Sa#1234", "admin", "VQTCW_Sample",
        QByteArray("\xD5\xCB\xCC\xD7", 4), QByteArray("\xD5\xC5\xC8\xFD", 4), "x'); delete from T_ClientLog; --",
        "\n", "\x1A", QByteArray(1, '\0'), "\xFF\xFE"};
    switch (random() % 4) {
    case 0: return QByteArray::number(static_cast<int>(random()));
    case 1: {
        QByteArray bytes = randomBytes(random, 24);
        while (bytes.contains(kSep))   // a field holds no separator (one taken out may join two halves)
            bytes.replace(kSep, "\x1A");
        return bytes;
    }
    default: return pieces[random() % std::size(pieces)];
    }
}

// A record of nine fields, each with its separator (sometimes without the
// last one); the type is mostly 1 or 2.
QByteArray validRecord(std::mt19937& random)
{
    QByteArray out = random() % 4 ? QByteArray::number(1 + random() % 2) : randomField(random);
    out += kSep;
    for (int i = 1; i < 9; ++i)
        out += randomField(random) + kSep;
    if (random() % 4 == 0)
        out.chop(kSep.size());
    return out;
}

// One to four random edits of the text.
QByteArray mutate(QByteArray text, std::mt19937& random)
{
    const int edits = 1 + static_cast<int>(random() % 4);
    for (int e = 0; e < edits; ++e) {
        const qsizetype at = text.isEmpty() ? 0 : static_cast<qsizetype>(random() % (text.size() + 1));
        switch (random() % 10) {
        case 0:   // one byte changed
            if (at < text.size())
                text[at] = biasedByte(random);
            break;
        case 1: text.insert(at, randomBytes(random, 4)); break;
        case 2: text.remove(at, 1 + random() % 8); break;
        case 3: text.insert(at, kSep); break;
        case 4: {   // a separator taken out
            const qsizetype sep = text.indexOf(kSep, at);
            if (sep >= 0)
                text.remove(sep, kSep.size());
            break;
        }
        case 5: {   // half a separator taken out
            const qsizetype sep = text.indexOf(kSep, at);
            if (sep >= 0)
                text.remove(sep + static_cast<qsizetype>(random() % 2), 1);
            break;
        }
        case 6: text.truncate(at); break;
        case 7: text.insert(at, text.mid(at / 2, 1 + random() % 40)); break;
        case 8: text.insert(at, randomField(random)); break;
        default: text += validRecord(random); break;
        }
    }
    return text;
}

// Runs `check` on `rounds` inputs from `make`; stops after a few failures,
// each reported with its input.
void fuzzRecords(int rounds, const std::function<QByteArray(int)>& make, CountingSilentOperator& dialogs)
{
    int failures = 0;
    for (int round = 0; round < rounds && failures < 5; ++round) {
        const QByteArray text = make(round);
        const std::string broken = checkRecordRoundTrip(text, dialogs);
        if (!broken.empty()) {
            ++failures;
            ADD_FAILURE() << "round " << round << ": " << broken << "\n  input: " << hex(text);
        }
    }
}

}  // namespace

// ---- the record ----------------------------------------------------------------

TEST(WireFuzz, RandomBytesReadWithoutCrashingAndRebuildToTheSameFields)
{
    CountingSilentOperator dialogs;
    std::mt19937 random(fuzzSeed());
    fuzzRecords(
        fuzzRounds(30000),
        [&](int round) { return round % 50 == 49 ? randomBytes(random, 5000) : randomBytes(random, 160); }, dialogs);
    EXPECT_TRUE(dialogs.others.isEmpty() && dialogs.otherInfos.isEmpty())
        << (dialogs.others + dialogs.otherInfos).join('\n').toStdString();
    // The inputs were not all short: many came to nine fields.
    EXPECT_GT(dialogs.recordBoxes, 0);
}

TEST(WireFuzz, MutatedRecordsReadWithoutCrashingAndRebuildToTheSameFields)
{
    CountingSilentOperator dialogs;
    std::mt19937 random(fuzzSeed() + 1);
    long long boxesOfValidRecords = 0;
    fuzzRecords(
        fuzzRounds(30000),
        [&](int round) {
            const QByteArray record = validRecord(random);
            if (round % 10 == 0) {   // every tenth one unchanged: it reads without a box
                const long long before = dialogs.recordBoxes;
                TSocketInfo r;
                r.ParseText(record);
                boxesOfValidRecords += dialogs.recordBoxes - before;
                return record;
            }
            return mutate(record, random);
        },
        dialogs);
    EXPECT_EQ(boxesOfValidRecords, 0);
    EXPECT_TRUE(dialogs.others.isEmpty() && dialogs.otherInfos.isEmpty())
        << (dialogs.others + dialogs.otherInfos).join('\n').toStdString();
    EXPECT_GT(dialogs.recordBoxes, 0) << "no mutation made a record short";
}

TEST(WireFuzz, WrittenRecordsReadBackToTheirMembers)
{
    CountingSilentOperator dialogs;
    std::mt19937 random(fuzzSeed() + 2);
    int failures = 0;
    for (int round = 0, rounds = fuzzRounds(30000); round < rounds && failures < 5; ++round) {
        TSocketInfo r;
        int* integers[] = {&r.MsgType, &r.Value1, &r.Value2};
        for (int* n : integers) {
            const unsigned pick = random() % 4;
            *n = pick == 0 ? INT_MIN : pick == 1 ? INT_MAX : static_cast<int>(random());
        }
        for (QByteArray* t : {&r.Text3, &r.Text4, &r.Text5, &r.Text6, &r.Text7, &r.Text8}) {
            *t = randomField(random);
            if (isNullWord(*t))
                t->clear();   // "null" is how an empty text travels: it cannot be a text
        }
        const QByteArray text = r.BuildText();
        TSocketInfo back = sentinelRecord();
        back.ParseText(text);
        if (dump(back) != dump(r) || GetMsgType(text) != r.MsgType) {
            ++failures;
            ADD_FAILURE() << "round " << round << ": " << dump(r) << " read back as " << dump(back)
                          << "\n  text: " << hex(text);
        }
    }
    EXPECT_EQ(dialogs.recordBoxes, 0);
}

// ---- the service's read path ------------------------------------------------------

namespace {

// Spins the event loop until `done` holds, without sleeping while there is
// work, so that a stream dribbled a byte at a time stays fast.
bool pumpUntil(const std::function<bool()>& done, int timeoutMs = 10000)
{
    QElapsedTimer clock;
    clock.start();
    for (int spins = 0; !done(); ++spins) {
        if (clock.elapsed() > timeoutMs)
            return false;
        if (spins < 20)
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        else
            QTest::qWait(1);
    }
    return true;
}

// Whatever the service writes is handshake answers: records whose fields
// 0 to 3 are 1, 1, 0 and the password. The bytes may end inside one (the
// client closed before the rest came). Returns what broke, or nothing.
std::string checkAnswers(const QByteArray& received, const QByteArray& password)
{
    const QByteArray expected[] = {"1", "1", "0", password};
    const QList<QByteArray> fields = splitAtSeparators(received);
    for (qsizetype i = 0; i < fields.size(); ++i) {
        const qsizetype position = i % 9;
        if (position > 3)
            continue;
        const bool last = i == fields.size() - 1;   // the bytes after the last separator
        if (last ? !(expected[position] + kSep).startsWith(fields[i]) : fields[i] != expected[position])
            return "field " + std::to_string(position) + " of an answer is " + hex(fields[i]);
    }
    return {};
}

QByteArray record(const QList<QByteArray>& fields)
{
    QByteArray out;
    for (const QByteArray& f : fields)
        out += f + kSep;
    return out;
}

// A stream a hostile or broken client might send.
QByteArray hostileStream(std::mt19937& random)
{
    switch (random() % 9) {
    case 0:
    case 1: return randomBytes(random, 300);
    case 2: {   // a short record of type 1 or 2: fewer than nine fields
        QByteArray out = QByteArray::number(1 + random() % 2);
        const int more = static_cast<int>(random() % 8);
        for (int i = 0; i < more; ++i)
            out += kSep + randomField(random);
        if (random() % 2)
            out += kSep;
        return out;
    }
    case 3:
    case 4: return mutate(validRecord(random), random);
    case 5: return validRecord(random) + randomBytes(random, 40) + validRecord(random);
    case 6: {   // a record with a long field, now and then beyond one read
        const qsizetype length = random() % 5 == 0 ? 64 * 1024 + random() % (140 * 1024) : random() % 8192;
        QByteArray filler(length, 'F');
        for (int i = 0; i < 16 && !filler.isEmpty(); ++i)
            filler[static_cast<qsizetype>(random() % filler.size())] = biasedByte(random);
        return record({QByteArray::number(1 + random() % 2), "0", "0", "null", filler, "b", "c", "d", "e"});
    }
    case 7: {   // separators, "null" and digits only
        QByteArray out;
        const int pieces = static_cast<int>(1 + random() % 30);
        for (int i = 0; i < pieces; ++i) {
            static const QByteArray words[] = {kSep, kSep, "null", "1", "2", "\x0A", "\x1A"};
            out += words[random() % std::size(words)];
        }
        return out;
    }
    default: return validRecord(random);
    }
}

// The stream cut into the pieces it is written in: whole, a byte at a
// time, small or large random pieces, or cut after each separator.
QList<QByteArray> piecesOf(const QByteArray& stream, std::mt19937& random)
{
    QList<QByteArray> pieces;
    unsigned mode = random() % 5;
    if (mode == 1 && stream.size() > 400)
        mode = 2;
    if (mode == 0 || stream.isEmpty())
        return {stream};
    if (mode == 4) {
        qsizetype from = 0, at;
        while ((at = stream.indexOf(kSep, from)) >= 0) {
            pieces.append(stream.mid(from, at + kSep.size() - from));
            from = at + kSep.size();
        }
        if (from < stream.size())
            pieces.append(stream.mid(from));
        return pieces;
    }
    const qsizetype largest = mode == 1 ? 1 : mode == 2 ? 16 : 4096;
    for (qsizetype at = 0; at < stream.size();) {
        const qsizetype size = 1 + static_cast<qsizetype>(random() % largest);
        pieces.append(stream.mid(at, size));
        at += size;
    }
    return pieces;
}

}  // namespace

class ServiceWireFuzz : public ProgramFixture {
protected:
    void SetUp() override
    {
        ProgramFixture::SetUp();
        if (HasFatalFailure())
            return;
        // Boxes come for short records: answered at once instead of by the
        // scripted operator, which fails on any box it was not told of.
        silent_.emplace();
        service_ = std::make_unique<TConnectionService>();
        service_->setPort(0);
        service_->SetServiceActive(true);
        ASSERT_TRUE(service_->serviceStarted());
        ASSERT_NE(service_->listeningPort(), 0);
    }

    void TearDown() override
    {
        clients_.clear();
        service_.reset();
        silent_.reset();
        ProgramFixture::TearDown();
    }

    struct Client {
        std::unique_ptr<QTcpSocket> socket;
        QByteArray received;
        QByteArray sent;
    };

    // A fresh connection; null when it could not be made.
    Client* connectClient()
    {
        auto client = std::make_unique<Client>();
        client->socket = std::make_unique<QTcpSocket>();
        client->socket->connectToHost(QHostAddress::LocalHost, service_->listeningPort());
        QTcpSocket* socket = client->socket.get();
        if (!pumpUntil([&] { return socket->state() == QAbstractSocket::ConnectedState; })) {
            ADD_FAILURE() << "no connection to the service: " << socket->errorString().toStdString();
            return nullptr;
        }
        clients_.push_back(std::move(client));
        return clients_.back().get();
    }

    // Writes the pieces one by one, each pushed out to the service and
    // given a turn of the event loop, so that most arrive as reads of their own.
    bool sendPieces(Client& client, const QList<QByteArray>& pieces)
    {
        QTcpSocket* socket = client.socket.get();
        for (const QByteArray& piece : pieces) {
            if (socket->state() != QAbstractSocket::ConnectedState)
                return true;   // the service ended the connection: the rest is not sent
            socket->write(piece);
            socket->flush();
            client.sent += piece;
            if (!pumpUntil([&] {
                    return socket->bytesToWrite() == 0 || socket->state() != QAbstractSocket::ConnectedState;
                }))
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            client.received += socket->readAll();
        }
        return true;
    }

    // Ends a connection from the client's side, orderly or abruptly, after
    // checking what it received.
    void closeClient(Client& client, bool abruptly)
    {
        client.received += client.socket->readAll();
        bytesReceived_ += client.received.size();
        const std::string broken = checkAnswers(client.received, kSaPassword);
        EXPECT_TRUE(broken.empty()) << broken << "\n  sent: " << hex(client.sent)
                                    << "\n  received: " << hex(client.received);
        if (abruptly)
            client.socket->abort();
        else
            client.socket->disconnectFromHost();
    }

    int rowCount(const std::string& where)
    {
        return static_cast<int>(catalogueRows("select KeyID from T_ClientLog where " + where).size());
    }

    // A valid handshake on a fresh connection gets exactly its answer.
    void expectHandshakeAnswered(const QByteArray& tag)
    {
        Client* client = connectClient();
        ASSERT_NE(client, nullptr);
        const QByteArray request = record({"1", "0", "0", "null", tag, "b", "", "NULL", "e"});
        const QByteArray answer = record({"1", "1", "0", kSaPassword, tag, "b", "null", "null", "e"});
        ASSERT_TRUE(sendPieces(*client, {request}));
        QTcpSocket* socket = client->socket.get();
        EXPECT_TRUE(pumpUntil([&] {
            client->received += socket->readAll();
            return client->received.size() >= answer.size();
        })) << "no whole answer to a handshake, received " << hex(client->received);
        EXPECT_EQ(hex(client->received), hex(answer)) << "the answer to the handshake " << tag.toStdString();
        closeClient(*client, false);
    }

    std::optional<CountingSilentOperator> silent_;
    std::unique_ptr<TConnectionService> service_;
    std::vector<std::unique_ptr<Client>> clients_;
    long long bytesReceived_ = 0;   // by every client, answers to valid handshakes included
};

TEST_F(ServiceWireFuzz, RandomStreamsInRandomPiecesLeaveTheServiceAnsweringAndTheLogClosed)
{
    std::mt19937 random(fuzzSeed() + 3);
    const bool verbose = std::getenv("VQ_FUZZ_VERBOSE") != nullptr;
    const int streams = std::max(1, fuzzRounds(30000) / 100);
    std::vector<Client*> open;   // connections left open for a while
    std::vector<QByteArray> reportedUsers;
    long long bytesSent = 0;

    for (int round = 0; round < streams && !HasFailure(); ++round) {
        // Now and then a valid handshake or login report on a connection of
        // its own, which must go through whatever came before.
        if (round % 10 == 5) {
            expectHandshakeAnswered("hs" + QByteArray::number(round));
            continue;
        }
        if (round % 10 == 8) {
            Client* client = connectClient();
            ASSERT_NE(client, nullptr);
            const QByteArray user = "fuzz-user-" + QByteArray::number(round);
            ASSERT_TRUE(sendPieces(*client, {record({"2", "0", "0", "null", "FZ", "Books", user, "null", "null"})}));
            ASSERT_TRUE(pumpUntil([&] { return rowCount("LoginUser='" + user.toStdString() + "'") == 1; }))
                << "no login row for a valid report after round " << round;
            reportedUsers.push_back(user);
            open.push_back(client);
            continue;
        }

        const QByteArray stream = hostileStream(random);
        const QList<QByteArray> pieces = piecesOf(stream, random);
        if (verbose)
            std::fprintf(stderr, "stream %d in %lld pieces: %s\n", round, static_cast<long long>(pieces.size()),
                         stream.toHex(' ').constData());
        Client* client = connectClient();
        ASSERT_NE(client, nullptr);
        ASSERT_TRUE(sendPieces(*client, pieces)) << "the service stopped reading, stream " << round << ": "
                                                 << hex(stream);
        bytesSent += stream.size();
        open.push_back(client);
        // Up to six connections stay open; beyond that a random one ends.
        while (open.size() > 6 || (random() % 3 == 0 && !open.empty())) {
            const auto victim = open.begin() + static_cast<std::ptrdiff_t>(random() % open.size());
            closeClient(**victim, random() % 2 == 0);
            open.erase(victim);
        }
    }
    for (Client* client : open)
        closeClient(*client, false);

    // Every connection ended, and with it every login row.
    EXPECT_TRUE(pumpUntil([&] { return service_->openConnections() == 0; }))
        << service_->openConnections() << " connections still open";
    EXPECT_EQ(service_->activeCount(), 0);
    EXPECT_EQ(rowCount("Closed<>1 or LogoutTime is null"), 0) << "a login row stayed open";
    for (const QByteArray& user : reportedUsers)
        EXPECT_EQ(rowCount("Closed=1 and LoginUser='" + user.toStdString() + "'"), 1) << user.toStdString();

    // The service still answers a correct handshake, and forgets its connection.
    EXPECT_TRUE(service_->serviceStarted());
    expectHandshakeAnswered("after the fuzz");
    EXPECT_TRUE(pumpUntil([&] { return service_->openConnections() == 0; }));

    // No error and no question on the way: the service may tell of the
    // malformed messages in boxes of its own, but nothing failed.
    EXPECT_TRUE(silent_->others.isEmpty()) << silent_->others.join('\n').toStdString();
    std::printf("[ service fuzz ] %d streams, %lld bytes sent, %lld received, %lld + %lld boxes, %d login rows, "
                "seed %u\n",
                streams, bytesSent, bytesReceived_, silent_->recordBoxes,
                static_cast<long long>(silent_->otherInfos.size()), rowCount("1=1"), fuzzSeed());
}
