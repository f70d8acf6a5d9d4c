/*
 * winDc.cpp --
 *
 *	Finding a domain's controllers on Windows: the domain controller
 *	locator (DsGetDcNameW, a directory server, its DNS name) first, then
 *	the SRV records of _ldap._tcp.dc._msdcs.NAME through the DNS client
 *	(DnsQuery_W) for the others, in their order (base/dcOrder.h). Neither
 *	call takes a time-out: the look-up runs on a thread of its own, and
 *	one that does not end in time is left to that thread, which frees
 *	what it gets.
 */

#include "directory/dcPlatform.h"

#include "core/win/winUtf8.h"
#include "directory/base/searchText.h"

#include <windows.h>
#include <windns.h>
#include <dsgetdc.h>
#include <lm.h>

#include <string>

namespace {

/* One look-up, shared by the caller and its thread; the last one frees it. */
struct Lookup {
    LONG references = 2;
    std::string domain;
    HkpDcStatus status = HKP_DC_FAILED;
    std::vector<hkdir::DcServer> servers;
    std::string reason;
};

void
release(Lookup *lookup)
{
    if (InterlockedDecrement(&lookup->references) == 0) {
	delete lookup;
    }
}

/* The system's text for an error number. */
std::string
systemText(DWORD code)
{
    wchar_t *text = nullptr;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM
	    | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
	    reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    std::string out = n > 0 ? hkWinUtf8(text) : "error " + std::to_string(code);
    if (text != nullptr) {
	LocalFree(text);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == '.')) {
	out.pop_back();
    }
    return out;
}

void
run(Lookup &lookup)
{
    std::wstring domain = hkWinWide(lookup.domain);
    std::vector<hkdir::DcServer> found;
    std::vector<hkdir::DcServer> listed;
    PDOMAIN_CONTROLLER_INFOW info = nullptr;
    DWORD rc = DsGetDcNameW(nullptr, domain.c_str(), nullptr, nullptr,
	    DS_DIRECTORY_SERVICE_REQUIRED | DS_RETURN_DNS_NAME, &info);
    if (rc == ERROR_SUCCESS && info != nullptr) {
	/* "\\dc1.example.org": the name after the two backslashes. */
	std::string name = hkWinUtf8(info->DomainControllerName);
	size_t start = name.find_first_not_of('\\');
	if (start != std::string::npos) {
	    hkdir::DcServer locator;
	    locator.host = name.substr(start);
	    found.push_back(locator);
	}
    }
    if (info != nullptr) {
	NetApiBufferFree(info);
    }
    std::wstring record = hkWinWide(HkpDcRecordName(lookup.domain));
    PDNS_RECORD records = nullptr;
    DNS_STATUS status = DnsQuery_W(record.c_str(), DNS_TYPE_SRV, DNS_QUERY_STANDARD, nullptr,
	    &records, nullptr);
    if (status == 0) {
	/* DnsQuery_W hands back wide records. */
	for (PDNS_RECORDW r = reinterpret_cast<PDNS_RECORDW>(records); r != nullptr;
		r = r->pNext) {
	    if (r->wType != DNS_TYPE_SRV || r->Flags.S.Section != DnsSectionAnswer) {
		continue;
	    }
	    hkdir::DcServer server;
	    server.host = hkWinUtf8(r->Data.SRV.pNameTarget);
	    server.port = r->Data.SRV.wPort;
	    server.priority = r->Data.SRV.wPriority;
	    server.weight = r->Data.SRV.wWeight;
	    listed.push_back(server);
	}
    }
    if (records != nullptr) {
	DnsRecordListFree(records, DnsFreeRecordList);
    }
    /*
     * The locator's choice first, the records' order after it; the
     * locator's entry takes the port of the record that names it.
     */
    for (const hkdir::DcServer &s : hkdir::orderDcServers(listed)) {
	if (!found.empty() && hkdir::equalsCaseBlind(found.front().host.c_str(), s.host.c_str())) {
	    found.front().port = s.port;
	} else {
	    found.push_back(s);
	}
    }
    lookup.servers = found;
    if (!lookup.servers.empty()) {
	lookup.status = HKP_DC_FOUND;
    } else if (status == DNS_ERROR_RCODE_NAME_ERROR) {
	lookup.status = HKP_DC_NO_NAME;
    } else if (status == 0 || status == DNS_INFO_NO_RECORDS) {
	lookup.status = HKP_DC_NO_RECORD;
    } else {
	lookup.status = HKP_DC_FAILED;
	lookup.reason = systemText(static_cast<DWORD>(status));
    }
}

DWORD WINAPI
lookupThread(LPVOID data)
{
    Lookup *lookup = static_cast<Lookup *>(data);
    run(*lookup);
    release(lookup);
    return 0;
}

} // namespace

HkpDcStatus
HkpFindDomainControllers(const std::string &domain, unsigned timeoutSeconds,
	std::vector<hkdir::DcServer> &servers, std::string &reason)
{
    servers.clear();
    reason.clear();
    Lookup *lookup = new Lookup;
    lookup->domain = domain;
    HANDLE thread = CreateThread(nullptr, 0, lookupThread, lookup, 0, nullptr);
    if (thread == nullptr) {
	/* No thread to be had: look up here, unbounded. */
	lookup->references = 1;
	run(*lookup);
    } else {
	DWORD waited = WaitForSingleObject(thread, timeoutSeconds > 0 ? 1000 * timeoutSeconds
		: INFINITE);
	CloseHandle(thread);
	if (waited != WAIT_OBJECT_0) {
	    release(lookup);
	    reason = "no answer within " + std::to_string(timeoutSeconds) + " s";
	    return HKP_DC_TIMED_OUT;
	}
    }
    HkpDcStatus status = lookup->status;
    servers = lookup->servers;
    reason = lookup->reason;
    release(lookup);
    return status;
}
