// Test harness for the Windows program under Wine: a Qt plug-in that the Wine tests load into
// the program through Qt's own environment (QT_PLUGIN_PATH, QT_QPA_GENERIC_PLUGINS); never
// shipped, and nothing in the program knows of it.
//
// Qt Serial Port waits for incoming data with an overlapped WaitCommEvent whose OVERLAPPED names
// no event, and learns of its end from the completion port the port's handle is bound to. On
// Windows that wait runs asynchronously and its end is queued to the completion port. Wine 8 runs
// such a wait synchronously (the caller's thread blocks until data arrives) and queues nothing,
// so under Wine the program would stall in its open until the first byte and never read one.
// This plug-in gives the serial port of Qt Serial Port what Windows gives it: each WaitCommEvent
// is made with an event of its own, which Wine waits on asynchronously, and when it is signalled
// the completion is queued to the port's completion port. Nothing else changes: the program's
// own code, Qt's and Wine's receive path all run as they are.
#include <QGenericPlugin>
#include <QtGlobal>
#include <map>
#include <mutex>

#include "platform/windows_api.h"

namespace {

using WaitCommEventFunction = BOOL(WINAPI*)(HANDLE, LPDWORD, LPOVERLAPPED);
using CreateIoCompletionPortFunction = HANDLE(WINAPI*)(HANDLE, HANDLE, ULONG_PTR, DWORD);

WaitCommEventFunction g_waitCommEvent = nullptr;
CreateIoCompletionPortFunction g_createIoCompletionPort = nullptr;

struct Binding {
    HANDLE port;
    ULONG_PTR key;
};
std::mutex g_lock;
std::map<HANDLE, Binding> g_bindings;  // file handle -> its completion port

HANDLE WINAPI bindingCreateIoCompletionPort(HANDLE file, HANDLE existing, ULONG_PTR key,
                                            DWORD threads) {
    HANDLE port = g_createIoCompletionPort(file, existing, key, threads);
    if (port != nullptr && file != INVALID_HANDLE_VALUE) {
        const std::lock_guard<std::mutex> guard(g_lock);
        g_bindings[file] = Binding{port, key};
    }
    return port;
}

struct PendingWait {
    HANDLE event;
    Binding binding;
    OVERLAPPED* overlapped;
};

void queueCompletion(const Binding& binding, OVERLAPPED* overlapped) {
    PostQueuedCompletionStatus(binding.port, sizeof(DWORD), binding.key, overlapped);
}

DWORD WINAPI awaitWaitEnd(void* context) {
    auto* pending = static_cast<PendingWait*>(context);
    WaitForSingleObject(pending->event, INFINITE);
    queueCompletion(pending->binding, pending->overlapped);
    CloseHandle(pending->event);
    delete pending;
    return 0;
}

BOOL WINAPI queuedWaitCommEvent(HANDLE file, LPDWORD mask, LPOVERLAPPED overlapped) {
    Binding binding{};
    bool bound = false;
    if (overlapped != nullptr && overlapped->hEvent == nullptr) {
        const std::lock_guard<std::mutex> guard(g_lock);
        const auto found = g_bindings.find(file);
        if (found != g_bindings.end()) {
            binding = found->second;
            bound = true;
        }
    }
    if (!bound) {
        return g_waitCommEvent(file, mask, overlapped);
    }
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (event == nullptr) {
        return g_waitCommEvent(file, mask, overlapped);
    }
    overlapped->hEvent = event;
    if (g_waitCommEvent(file, mask, overlapped)) {
        // Done at once: Windows queues the completion of such a wait too.
        overlapped->hEvent = nullptr;
        CloseHandle(event);
        queueCompletion(binding, overlapped);
        return TRUE;
    }
    const DWORD error = GetLastError();
    if (error != ERROR_IO_PENDING) {
        overlapped->hEvent = nullptr;
        CloseHandle(event);
        SetLastError(error);
        return FALSE;
    }
    auto* pending = new PendingWait{event, binding, overlapped};
    HANDLE thread = CreateThread(nullptr, 0, awaitWaitEnd, pending, 0, nullptr);
    if (thread == nullptr) {
        WaitForSingleObject(event, INFINITE);
        awaitWaitEnd(pending);
        return TRUE;
    }
    CloseHandle(thread);
    SetLastError(ERROR_IO_PENDING);
    return FALSE;
}

// Points the calls that `module` imports from `original` at `replacement`; the number changed.
int redirectImports(HMODULE module, ULONG_PTR original, ULONG_PTR replacement) {
    auto* base = reinterpret_cast<BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    int changed = 0;
    for (auto* library = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         imports.VirtualAddress != 0 && library->Name != 0; ++library) {
        for (auto* entry = reinterpret_cast<IMAGE_THUNK_DATA*>(base + library->FirstThunk);
             entry->u1.Function != 0; ++entry) {
            if (entry->u1.Function != original) {
                continue;
            }
            DWORD protection = 0;
            VirtualProtect(&entry->u1.Function, sizeof entry->u1.Function, PAGE_READWRITE,
                           &protection);
            entry->u1.Function = replacement;
            VirtualProtect(&entry->u1.Function, sizeof entry->u1.Function, protection, &protection);
            ++changed;
        }
    }
    return changed;
}

void install() {
    HMODULE serialPort = GetModuleHandleW(L"Qt6SerialPort.dll");
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    if (serialPort == nullptr || kernel == nullptr || g_waitCommEvent != nullptr) {
        qWarning("wine_comm_events: Qt Serial Port is not loaded; nothing changed");
        return;
    }
    const auto address = [kernel](const char* name) {
        return reinterpret_cast<ULONG_PTR>(GetProcAddress(kernel, name));
    };
    g_waitCommEvent = reinterpret_cast<WaitCommEventFunction>(address("WaitCommEvent"));
    g_createIoCompletionPort =
        reinterpret_cast<CreateIoCompletionPortFunction>(address("CreateIoCompletionPort"));
    const int waits = redirectImports(serialPort, address("WaitCommEvent"),
                                      reinterpret_cast<ULONG_PTR>(&queuedWaitCommEvent));
    const int ports = redirectImports(serialPort, address("CreateIoCompletionPort"),
                                      reinterpret_cast<ULONG_PTR>(&bindingCreateIoCompletionPort));
    if (waits == 0 || ports == 0) {
        qWarning(
            "wine_comm_events: Qt Serial Port imports WaitCommEvent %d and "
            "CreateIoCompletionPort %d times; nothing to change",
            waits, ports);
    }
}

}  // namespace

class WineCommEvents : public QGenericPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "wine_comm_events.json")

public:
    QObject* create(const QString&, const QString&) override {
        install();
        return new QObject;
    }
};

#include "wine_comm_events.moc"
