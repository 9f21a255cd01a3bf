#include "device/eeprom_readout.h"

#include <algorithm>
#include <array>
#include <chrono>

#include "device/command_frames.h"
#include "device/device_state.h"
#include "device/eeprom_contents.h"
#include "device/eeprom_map.h"
#include "device/main_dialog_core.h"
#include "device/session_events.h"
#include "platform/clock.h"

namespace device {

int CountEepromReplies(std::string_view text) {
    return static_cast<int>(std::count(text.begin(), text.end(), '='));
}

bool IsOneWholeEepromReply(std::string_view text) {
    return CountEepromReplies(text) == 1 && text.find('\r', text.find('=')) != text.npos;
}

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kTriesPerByte = 4;
constexpr int kRepeatBudget = 64;   // repeated reads in a whole read-out: a bad line costs seconds
constexpr auto kQuiet = 25ms;       // the line counts as quiet this long after its last byte
constexpr auto kLateLimit = 200ms;  // how long a missing reply is waited for
constexpr auto kListenCap = 600ms;  // a line that never goes quiet
constexpr uint32_t kPollStepMs = 2;
constexpr int kSlowAfter = 4;    // bytes in a row answered only late: the line is slow
constexpr int kSilentAfter = 2;  // bytes in a row with nothing at all: the transducer is silent

}  // namespace

// One read-out: the byte-by-byte protocol and what it learns about the line on the way.
struct MainDialogCore::Readout {
    struct Attempt {
        std::string text;  // as CollectResponse gives it, one window after the other
        uint32_t raw = 0;  // bytes that arrived, also those a NUL hid
    };

    MainDialogCore& core;
    EepromReadoutResult& result;
    std::array<std::string, kEepromBytes>& replies = result.image.replies;
    std::array<bool, kEepromBytes>& confirmed = result.image.confirmed;
    std::array<unsigned, kEepromBytes>& faults = result.image.faults;
    bool slowLine = false;  // first tries listen as retries do
    int lateRun = 0;
    int silentRun = 0;
    // Replies still owed for the reads sent. Another byte is asked for only when none is, so
    // that a reply that comes late can never be taken for the next byte's.
    int owed = 0;

    bool Stopped() {
        if (!result.stopped && (core.EepromReadoutCancelled() ||
                                (core.m_readPort && !CheckPortPresent(core.m_readPort)))) {
            result.stopped = true;
        }
        return result.stopped;
    }

    uint32_t Collect(Attempt& a) {
        const uint32_t got = core.CollectResponse();
        const std::string text = ResponseTextCopy();
        a.text += text;
        a.raw += got;
        owed -= CountEepromReplies(text);
        if (got > 0) result.answered = true;
        return got;
    }

    void Send(int address) {
        core.SendFrame(EepromReadFrame(core.Address(), address));
        ++owed;
    }

    // Before another byte is asked for: waits out the replies still owed.
    void Settle() {
        if (owed > 0) Listen();
        owed = 0;
    }

    // The fixed windows of a first try: 20 ms, and 20 ms more when nothing came.
    Attempt Windows(int address) {
        Attempt a;
        Send(address);
        platform::Sleep(20);
        Collect(a);
        if (a.text.empty() && !Stopped()) {
            platform::Sleep(20);
            Collect(a);
        }
        return a;
    }

    // Collects until the line has been quiet for kQuiet after its last byte, or for kLateLimit
    // when nothing came at all.
    Attempt Listen() {
        Attempt a;
        const auto start = Clock::now();
        auto last = start;
        while (!Stopped()) {
            platform::Sleep(kPollStepMs);
            const bool got = Collect(a) > 0;
            const auto now = Clock::now();
            if (got) last = now;
            if (now - start >= kListenCap) break;
            if (a.raw > 0 ? now - last >= kQuiet : now - start >= kLateLimit) break;
        }
        // A reply not come after that long is taken as lost; one sent twice is no debt.
        if (a.raw == 0 || owed < 0) owed = 0;
        return a;
    }

    Attempt Listening(int address) {
        Send(address);
        return Listen();
    }

    // Reads byte `address` until it is confirmed, or its tries or the read-out's repeats run out.
    // Leaves the text of the last try in replies[address].
    void ReadByte(int address) {
        Settle();
        Attempt a = slowLine ? Listening(address) : Windows(address);
        replies[address] = a.text;
        bool crowded = CountEepromReplies(a.text) > 1;
        if (IsOneWholeEepromReply(a.text)) {
            confirmed[address] = true;
            silentRun = 0;
            lateRun = 0;
            return;
        }
        // Silent so far: answered as an unanswered byte always was, 40 ms and "00".
        if (a.raw == 0 && silentRun >= kSilentAfter) {
            faults[address] |= kReplyNeverCame;
            owed = 0;
            return;
        }

        bool listened = slowLine;
        bool late = false;
        for (int tries = 1; !Stopped(); ++tries) {
            // What the windows missed is thrown away; a listening try that heard nothing has
            // waited long enough already.
            std::string seen = a.text;
            bool cameLate = false;
            if (!(listened && a.raw == 0)) {
                const Attempt rest = Listen();
                crowded = crowded || CountEepromReplies(a.text) + CountEepromReplies(rest.text) > 1;
                cameLate = !listened && a.raw == 0 && rest.raw > 0;
                late = late || (tries == 1 && cameLate);
                a.raw += rest.raw;
                seen += rest.text;
            }
            faults[address] |= ClassifyEepromReply(seen, cameLate);
            if (!result.answered) {
                silentRun = kSilentAfter;  // the transducer has said nothing at all
                return;
            }
            if (tries >= kTriesPerByte || result.repeatedReads >= kRepeatBudget || Stopped()) break;
            ++result.repeatedReads;
            a = Listening(address);
            listened = true;
            replies[address] = a.text;
            crowded = crowded || CountEepromReplies(a.text) > 1;
            if (IsOneWholeEepromReply(a.text)) {
                confirmed[address] = true;
                break;
            }
        }
        silentRun = confirmed[address] || a.raw > 0 ? 0 : silentRun + 1;
        lateRun = late && confirmed[address] ? lateRun + 1 : 0;
        if (lateRun >= kSlowAfter) slowLine = true;
        // A window that held two replies means one came late. If it was the previous byte's,
        // the previous byte took an older reply for its own: ask for it again too.
        if (crowded && address > 0 && confirmed[address - 1]) Verify(address - 1);
    }

    void Verify(int address) {
        if (result.repeatedReads >= kRepeatBudget || Stopped()) return;
        Settle();
        ++result.repeatedReads;
        const Attempt a = Listening(address);
        confirmed[address] = IsOneWholeEepromReply(a.text);
        if (confirmed[address]) {
            replies[address] = a.text;
        } else {
            faults[address] |= ClassifyEepromReply(a.text + Listen().text, false);
        }
    }
};

MainDialogCore::EepromReadoutResult MainDialogCore::ReadEeprom() {
    EepromReadoutResult result;
    TableView* list = g_eepromList;
    if (list) {
        list->SetFocus();
        list->DeleteAllItems();
        for (size_t c = 0; c < kEepromColumns.size(); ++c) {
            list->InsertColumn(static_cast<int>(c), kEepromColumns[c].title,
                               kEepromColumns[c].widthPixels);
        }
        list->SetGridLinesAndFullRowSelect();
    }
    CreateEepromWaitNotice();
    SendFrame(kEepromPrologueFrame);
    ShowEepromWaitCursor();
    m_readPort = m_port;
    platform::Sleep(10);

    Readout readout{*this, result};
    const EepromImage& image = result.image;
    const auto& rows = EepromRows();
    std::array<int, kEepromRows> items{};
    for (int r = 0; r < kEepromRows; ++r) {
        items[r] = -1;
        if (list) {
            items[r] = list->InsertItem();
            list->SetItemText(items[r], 0, rows[r].description);
            list->SetItemText(items[r], 1, rows[r].address);
        }
        for (int j = 0; j < 4; ++j) {
            const int address = 4 * r + j;
            // Once the port is gone or the read-out is cancelled, the rest shows "00" at once.
            if (!readout.Stopped()) readout.ReadByte(address);
            const std::string byteText = ByteText(image, address);
            if (list) list->SetItemText(items[r], 2 + j, byteText);
            if (!result.stopped && m_events) m_events->OnReadoutProgress(address, byteText);
        }
    }
    // A byte asked for again after its row was shown (see Readout::Verify) may have changed.
    for (int r = 0; r < kEepromRows && list; ++r) {
        const auto cells = RowCells(image, r);
        for (int j = 0; j < 4; ++j) list->SetItemText(items[r], 2 + j, cells[2 + j]);
    }
    const auto coefficients = Coefficients(image);
    std::copy(coefficients.begin(), coefficients.end(), g_coefficients.begin());
    const auto unconfirmed = UnconfirmedRows(image);
    for (const UnconfirmedRow& row : unconfirmed) result.unconfirmedRows.push_back(row.row);
    EndEepromWait();
    if (result.answered && !result.stopped && !unconfirmed.empty() && m_events)
        m_events->OnReadoutUnconfirmed(unconfirmed);
    return result;
}

}  // namespace device
