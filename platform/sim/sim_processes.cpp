#include "platform/sim/sim_processes.h"

#include <algorithm>
#include <cstring>

namespace ostrel::sim {

bool SimProcesses::GetVersionInfo(OsVersionInfo* info) {
    if (info->dwOSVersionInfoSize != sizeof(OsVersionInfo)) return false;
    info->dwMajorVersion = 5;
    info->dwMinorVersion = 1;
    info->dwPlatformId = platformId;
    return true;
}

bool SimProcesses::EnumProcessIds(uint32_t* ids, uint32_t cb, uint32_t* needed) {
    ++enumCalls;
    index_.clear();
    for (size_t i = 0; i < processes.size(); ++i)
        index_[processes[i].pid] = i;
    const size_t fits = std::min<size_t>(cb / 4, processes.size());
    for (size_t i = 0; i < fits; ++i)
        ids[i] = processes[i].pid;
    *needed = static_cast<uint32_t>(fits * 4);
    return true;
}

const SimProcesses::Process* SimProcesses::Find(uint32_t pid) const {
    // The index is only a hint: the test may have changed the list since it was made.
    if (const auto hint = index_.find(pid); hint != index_.end() &&
                                            hint->second < processes.size() &&
                                            processes[hint->second].pid == pid) {
        return &processes[hint->second];
    }
    const auto it = std::find_if(processes.begin(), processes.end(),
                                 [pid](const Process& p) { return p.pid == pid; });
    return it == processes.end() ? nullptr : &*it;
}

bool SimProcesses::Fail(uint32_t error) {
    lastError_ = error;
    return false;
}

const SimProcesses::OpenHandle* SimProcesses::Allowed(ProcHandle handle, uint32_t needed) {
    const auto it = handles_.find(handle);
    if (it == handles_.end()) {
        Fail(winerr::kInvalidHandle);
        return nullptr;
    }
    if ((it->second.access & needed) != needed) {
        Fail(winerr::kAccessDenied);
        return nullptr;
    }
    return &it->second;
}

ProcHandle SimProcesses::OpenProcessHandle(uint32_t access, bool, uint32_t pid) {
    const Process* process = Find(pid);
    const bool reads = (access & kProcessQueryAndRead) != 0;
    const bool waits = (access & kSynchronize) != 0;
    if (!process || !process->canOpen || (reads && !process->readable) ||
        (waits && !process->waitable)) {
        Fail(process ? winerr::kAccessDenied : winerr::kInvalidParameter);
        return 0;
    }
    const ProcHandle handle = nextHandle_++;
    const uint32_t granted =
        access & kProcessQueryInformation ? access | kProcessQueryLimited : access;
    handles_[handle] = OpenHandle{pid, granted, process->path};
    return handle;
}

bool SimProcesses::EnumModules(ProcHandle handle, ModuleHandle* modules, uint32_t cb,
                               uint32_t* needed) {
    const OpenHandle* open = Allowed(handle, kProcessQueryAndRead);
    if (!open) return false;
    const Process* process = Find(open->pid);
    // Windows answers a process whose memory it cannot read as a partial copy.
    if (process && process->otherBitness && !process->ended) {
        return Fail(process->otherBitnessError);
    }
    if (!process || process->ended) return Fail(winerr::kPartialCopy);
    if (!process->modulesListed) return Fail(winerr::kAccessDenied);
    if (cb >= sizeof(ModuleHandle)) modules[0] = 0x400000;
    *needed = sizeof(ModuleHandle);
    return true;
}

uint32_t SimProcesses::ModuleFileName(ProcHandle handle, ModuleHandle, char* buffer,
                                      uint32_t size) {
    const OpenHandle* open = Allowed(handle, kProcessQueryAndRead);
    if (!open || size == 0) return 0;
    const Process* process = Find(open->pid);
    if (!process || process->ended || process->otherBitness) {
        Fail(winerr::kPartialCopy);
        return 0;
    }
    // Like the Windows call: a path that does not fit is cut, and so is its terminating zero.
    const auto copied = static_cast<uint32_t>(std::min<size_t>(process->path.size(), size));
    std::memcpy(buffer, process->path.data(), copied);
    if (copied < size) buffer[copied] = '\0';
    return copied;
}

bool SimProcesses::ProcessImageName(ProcHandle handle, uint32_t flags, char* buffer,
                                    uint32_t* size) {
    const OpenHandle* open = Allowed(handle, kProcessQueryLimited);
    if (!open) return false;
    if (flags != kProcessNameWin32) return Fail(winerr::kInvalidParameter);
    if (*size <= open->path.size()) return Fail(winerr::kInsufficientBuffer);
    std::memcpy(buffer, open->path.data(), open->path.size());
    buffer[open->path.size()] = '\0';
    *size = static_cast<uint32_t>(open->path.size());
    return true;
}

bool SimProcesses::GetExitCodeProcess(ProcHandle handle, uint32_t* code) {
    const OpenHandle* open = Allowed(handle, kProcessQueryLimited);
    if (!open) return false;
    // A handle outlives its process; an ended one has left the list or is marked so.
    const Process* process = Find(open->pid);
    *code = process && !process->ended ? kStillActive : 0;
    return true;
}

uint32_t SimProcesses::ProcessIdOf(ProcHandle handle) {
    const OpenHandle* open = Allowed(handle, kProcessQueryLimited);
    return open ? open->pid : 0;
}

uint32_t SimProcesses::WaitForProcess(ProcHandle handle, uint32_t) {
    if (!Allowed(handle, kSynchronize)) return kWaitFailed;
    return IsSignalled(handle) ? kWaitObject0 : kWaitTimeout;
}

bool SimProcesses::IsSignalled(ProcHandle handle) const {
    const auto it = handles_.find(handle);
    if (it == handles_.end() || !(it->second.access & kSynchronize)) return false;
    const Process* process = Find(it->second.pid);
    return !process || process->ended;
}

bool SimProcesses::ProcessIdToSessionId(uint32_t pid, uint32_t* session) {
    if (pid == currentPid) {
        *session = kOwnSession;
        return ownSessionKnown || Fail(winerr::kAccessDenied);
    }
    const Process* process = Find(pid);
    if (!process) return Fail(winerr::kInvalidParameter);
    if (!process->canOpen) return Fail(winerr::kAccessDenied);
    *session = process->session;
    return true;
}

bool SimProcesses::CloseProcessHandle(ProcHandle handle) {
    return handles_.erase(handle) > 0 || Fail(winerr::kInvalidHandle);
}

uint32_t SimProcesses::Start(std::string path) {
    processes.push_back(Process{nextPid_, std::move(path)});
    nextPid_ += 4;
    return processes.back().pid;
}

void SimProcesses::End(uint32_t pid) {
    std::erase_if(processes, [pid](const Process& p) { return p.pid == pid; });
}

}  // namespace ostrel::sim
