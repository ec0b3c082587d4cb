// The POP3 reply reader: received bytes split into lines, positive replies told from
// negative ones, and the message count read from a STAT reply. A count read back from
// its own reply form must give the same count.

#include "FuzzCheck.h"

#include "mail/pop3/Pop3Client.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size)
{
    QByteArray buffer(reinterpret_cast<const char*>(data), qsizetype(size));
    for (;;) {
        const qsizetype before = buffer.size();
        QByteArray line;
        const Pop3Client::LineResult result = Pop3Client::takeReplyLine(buffer, &line);
        if (result == Pop3Client::LineResult::NeedMore) {
            FUZZ_CHECK(!buffer.contains('\n') && buffer.size() <= Pop3Client::MaxLineBytes);
            break;
        }
        if (result == Pop3Client::LineResult::TooLong) {
            FUZZ_CHECK(!buffer.contains('\n') && buffer.size() > Pop3Client::MaxLineBytes);
            break;
        }
        FUZZ_CHECK(buffer.size() < before); // every line takes at least its LF
        FUZZ_CHECK(!line.contains('\n'));
        FUZZ_CHECK(line.isEmpty() || (uchar(line.front()) > 32 && uchar(line.back()) > 32));

        int count = -1;
        const bool positive = Pop3Client::isPositiveReply(line);
        FUZZ_CHECK(positive == line.left(3).toUpper().startsWith("+OK"));
        if (positive && Pop3Client::parseStatReply(line, &count)) {
            int again = -1;
            FUZZ_CHECK(Pop3Client::parseStatReply("+OK " + QByteArray::number(count) + " 0", &again));
            FUZZ_CHECK(again == count);
        }
    }
    return 0;
}
