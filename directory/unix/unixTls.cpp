/*
 * unixTls.cpp --
 *
 *	TLS of the Linux LDAP client with GnuTLS (see unixTls.h). The session
 *	reads and writes the connection's socket itself; libldap reaches it
 *	through an I/O layer pushed onto the connection's Sockbuf, at the
 *	transport level where libldap's own TLS would sit. The layer owns the
 *	session and frees it when libldap removes its layers at unbind.
 */

#include "directory/unix/unixTls.h"

#include "directory/base/caFile.h"
#include "directory/base/certificateNames.h"

#include <gnutls/gnutls.h>
#include <gnutls/x509.h>
#include <lber.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace hkldap {

namespace {

/*
 * The Sockbuf control that hands out the layer's session (tlsRefusal).
 * lber's own options end at LBER_SB_OPT_OPT_MAX; layers below answer an
 * option they do not know with 0.
 */
const int SB_OPT_HOSTKIT_SESSION = 0x4B48;

/*
 * Names read of one certificate field at most: GnuTLS parses the field
 * anew for each, and a name beyond these counts as absent (a refusal).
 */
const unsigned MAX_NAMES_READ = 1024;

/*
 * A session as libldap's GnuTLS code holds one (tls_g.c's tlsg_session):
 * the GnuTLS session first, then what only libldap's own handshake fills
 * in. libldap asks the transport layer for its session (LBER_SB_OPT_GET_SSL)
 * when a SASL bind starts, and reads from it the strength of the TLS
 * cipher (the SASL layer's external strength) and the TLS channel binding
 * (tls-server-end-point: the hash of the server's certificate), each
 * through the session's first member alone.
 */
struct LibldapSession {
    gnutls_session_t session = nullptr;
    void *context = nullptr;
    struct berval peerDn = {0, nullptr};
};

/*
 * Whether libldap's TLS is GnuTLS, so that it can read a GnuTLS session;
 * a libldap built on another TLS library is told of none.
 */
bool
libldapSpeaksGnuTls()
{
    static const bool gnutls = [] {
	char *name = nullptr;
	bool yes = ldap_get_option(nullptr, LDAP_OPT_X_TLS_PACKAGE, &name) == LDAP_OPT_SUCCESS
		&& name != nullptr && strcmp(name, "GnuTLS") == 0;
	ldap_memfree(name);
	return yes;
    }();
    return gnutls;
}

/* One TLS session over a connection's socket, with its credentials. */
struct TlsSession {
    gnutls_session_t session = nullptr;
    LibldapSession libldapView;	/* the same session, as libldap reads one */
    gnutls_certificate_credentials_t credentials = nullptr;
    int fd = -1;
    bool certificateRequested = false;	/* the server asked for a client certificate */
    int failedWith = 0;		/* GnuTLS's code of a failed read or write */
    std::string alert;		/* the name of a fatal alert from the server */

    ~TlsSession()
    {
	if (session != nullptr) {
	    gnutls_deinit(session);
	}
	if (credentials != nullptr) {
	    gnutls_certificate_free_credentials(credentials);
	}
    }
};

/* A file, read whole when the CA file rule takes it. */
bool
readCaFile(const std::string &path, std::string &content, std::string &reason)
{
    /* Without blocking: a FIFO would hold open() until a writer comes. */
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
	reason = hkdir::caFileFaultText(path, hkdir::CaFileFault::CANNOT_OPEN,
		"error " + std::to_string(errno));
	return false;
    }
    std::unique_ptr<int, void (*)(int *)> closer(&fd, [](int *f) { close(*f); });
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
	reason = hkdir::caFileFaultText(path, hkdir::CaFileFault::NOT_REGULAR);
	return false;
    }
    if (st.st_size > static_cast<off_t>(hkdir::HK_CA_FILE_LIMIT)) {
	reason = hkdir::caFileFaultText(path, hkdir::CaFileFault::TOO_LARGE);
	return false;
    }
    /* One byte more than the limit tells a file that grew meanwhile. */
    content.assign(hkdir::HK_CA_FILE_LIMIT + 1, '\0');
    size_t got = 0;
    while (got < content.size()) {
	ssize_t n = read(fd, &content[got], content.size() - got);
	if (n < 0 && errno == EINTR) {
	    continue;
	}
	if (n < 0) {
	    reason = hkdir::caFileFaultText(path, hkdir::CaFileFault::CANNOT_READ,
		    "error " + std::to_string(errno));
	    return false;
	}
	if (n == 0) {
	    break;
	}
	got += static_cast<size_t>(n);
    }
    if (got > hkdir::HK_CA_FILE_LIMIT) {
	reason = hkdir::caFileFaultText(path, hkdir::CaFileFault::TOO_LARGE);
	return false;
    }
    content.resize(got);
    return true;
}

/* A PEM file read by the CA file rule, as GnuTLS takes it (data points into content). */
bool
readPemFile(const std::string &path, std::string &content, gnutls_datum_t &data,
	std::string &reason)
{
    if (!readCaFile(path, content, reason)) {
	return false;
    }
    data.data = reinterpret_cast<unsigned char *>(&content[0]);
    data.size = static_cast<unsigned>(content.size());
    return true;
}

/* The CAs of a PEM file added to the credentials. */
bool
addCaFile(gnutls_certificate_credentials_t credentials, const std::string &path,
	std::string &reason)
{
    std::string content;
    gnutls_datum_t data;
    if (!readPemFile(path, content, data, reason)) {
	return false;
    }
    int rc = content.empty() ? 0
	    : gnutls_certificate_set_x509_trust_mem(credentials, &data, GNUTLS_X509_FMT_PEM);
    if (rc == 0) {
	reason = hkdir::caFileFaultText(path, hkdir::CaFileFault::NO_CERTIFICATE);
	return false;
    }
    if (rc < 0) {
	reason = hkdir::caFileFaultText(path, hkdir::CaFileFault::UNUSABLE, gnutls_strerror(rc));
	return false;
    }
    return true;
}

/* The revocation lists of a PEM file added to the credentials. */
bool
addCrlFile(gnutls_certificate_credentials_t credentials, const std::string &path,
	std::string &reason)
{
    std::string content;
    gnutls_datum_t data;
    if (!readPemFile(path, content, data, reason)) {
	return false;
    }
    int rc = gnutls_certificate_set_x509_crl_mem(credentials, &data, GNUTLS_X509_FMT_PEM);
    if (rc < 0) {
	reason = "cannot use CRL file " + path + " (" + gnutls_strerror(rc) + ")";
	return false;
    }
    return true;
}

/*
 * Where trusted CAs come from without a CA file of the script's: the
 * system's ldap.conf, the file LDAPCONF names after it, then the LDAPTLS_*
 * variables, as libldap reads them; but not a user's ldaprc files, which
 * libldap would read too (./ldaprc, ./.ldaprc, ~/.ldaprc): a file in the
 * folder a script runs in must not decide whom it trusts. LDAPNOINIT
 * leaves it all out, as in libldap.
 */
hkdir::TlsSources
systemTlsSources()
{
    hkdir::TlsSources sources;
    if (getenv("LDAPNOINIT") != nullptr) {
	return sources;
    }
    std::vector<std::string> files;
    for (const char *system : {"/etc/ldap/ldap.conf", "/etc/openldap/ldap.conf"}) {
	if (access(system, F_OK) == 0) {
	    files.push_back(system);
	    break;
	}
    }
    if (const char *conf = getenv("LDAPCONF")) {
	files.push_back(conf);
    }
    for (const std::string &file : files) {
	std::string text, reason;
	if (readCaFile(file, text, reason)) {
	    hkdir::readLdapConfTls(text, sources);
	}
    }
    const struct {
	const char *variable;
	std::string hkdir::TlsSources::*field;
    } VARIABLES[] = {
	{"LDAPTLS_CACERT", &hkdir::TlsSources::caCertFile},
	{"LDAPTLS_CACERTDIR", &hkdir::TlsSources::caCertDir},
	{"LDAPTLS_CRLFILE", &hkdir::TlsSources::crlFile},
    };
    for (const auto &v : VARIABLES) {
	if (const char *value = getenv(v.variable)) {
	    sources.*v.field = value;
	}
    }
    return sources;
}

/* GnuTLS's transport on the socket; send never raises SIGPIPE. */
ssize_t
pushToSocket(gnutls_transport_ptr_t transport, const void *data, size_t size)
{
    return send(static_cast<int>(reinterpret_cast<intptr_t>(transport)), data, size, MSG_NOSIGNAL);
}

ssize_t
pullFromSocket(gnutls_transport_ptr_t transport, void *data, size_t size)
{
    return recv(static_cast<int>(reinterpret_cast<intptr_t>(transport)), data, size, 0);
}

/* Text of GnuTLS, its trailing blanks and dot dropped. */
std::string
trimmed(const char *text)
{
    std::string out = text != nullptr ? text : "";
    while (!out.empty() && (out.back() == ' ' || out.back() == '.' || out.back() == '\n')) {
	out.pop_back();
    }
    return out;
}

/* Why the chain was refused, from the verification status. */
std::string
chainRefusal(unsigned status)
{
    const char *lead = (status & GNUTLS_CERT_EXPIRED) ? "peer certificate is expired"
	    : (status & GNUTLS_CERT_NOT_ACTIVATED) ? "peer certificate is not yet valid"
	    : "peer cert untrusted or revoked";
    char code[32];
    snprintf(code, sizeof code, " (0x%x)", status);
    std::string text = std::string(lead) + code;
    gnutls_datum_t out = {nullptr, 0};
    if (gnutls_certificate_verification_status_print(status, GNUTLS_CRT_X509, &out, 0) == 0
	    && out.data != nullptr) {
	text += ": " + trimmed(reinterpret_cast<const char *>(out.data));
	gnutls_free(out.data);
    }
    return text;
}

/* One name of a certificate field, grown to its size as GnuTLS asks. */
template <typename Get>
int
readName(std::string &out, Get get)
{
    out.assign(256, '\0');
    size_t size = out.size();
    int rc = get(&out[0], &size);
    if (rc == GNUTLS_E_SHORT_MEMORY_BUFFER) {
	out.assign(size + 1, '\0');
	size = out.size();
	rc = get(&out[0], &size);
    }
    out.resize(rc >= 0 && size <= out.size() ? size : 0);
    return rc;
}

/* The names of the peer's own certificate, false when it cannot be read. */
bool
peerNames(gnutls_session_t session, hkdir::CertificateNames &names)
{
    unsigned count = 0;
    const gnutls_datum_t *list = gnutls_certificate_get_peers(session, &count);
    gnutls_x509_crt_t crt = nullptr;
    if (list == nullptr || count == 0 || gnutls_x509_crt_init(&crt) < 0) {
	return false;
    }
    std::unique_ptr<gnutls_x509_crt_int, void (*)(gnutls_x509_crt_t)> owner(crt,
	    gnutls_x509_crt_deinit);
    if (gnutls_x509_crt_import(crt, &list[0], GNUTLS_X509_FMT_DER) < 0) {
	return false;
    }
    size_t size = 0;
    unsigned critical = 0;
    int rc = gnutls_x509_crt_get_extension_by_oid(crt, "2.5.29.17", 0, nullptr, &size, &critical);
    names.hasSubjectAltName = rc == 0 || rc == GNUTLS_E_SHORT_MEMORY_BUFFER;
    std::string name;
    for (unsigned i = 0; i < MAX_NAMES_READ; i++) {
	unsigned type = 0;
	rc = readName(name, [&](char *buffer, size_t *length) {
	    return gnutls_x509_crt_get_subject_alt_name2(crt, i, buffer, length, &type, nullptr);
	});
	if (rc < 0) {
	    break;		/* the end, or an entry that cannot be read */
	}
	if (rc == GNUTLS_SAN_DNSNAME) {
	    names.dnsNames.push_back(name);
	} else if (rc == GNUTLS_SAN_IPADDRESS) {
	    names.ipAddresses.push_back(name);
	}
    }
    for (unsigned i = 0; i < MAX_NAMES_READ; i++) {
	rc = readName(name, [&](char *buffer, size_t *length) {
	    return gnutls_x509_crt_get_dn_by_oid(crt, GNUTLS_OID_X520_COMMON_NAME, i, 0, buffer,
		    length);
	});
	if (rc < 0) {
	    break;
	}
	names.commonNames.push_back(name);
    }
    return true;
}

/* The check of the server's certificate after the handshake: empty, or why it is refused. */
std::string
certificateRefusal(gnutls_session_t session, const std::string &host)
{
    gnutls_typed_vdata_st purpose;
    purpose.type = GNUTLS_DT_KEY_PURPOSE_OID;
    purpose.data = reinterpret_cast<unsigned char *>(const_cast<char *>(GNUTLS_KP_TLS_WWW_SERVER));
    purpose.size = 0;
    unsigned status = 0;
    int rc = gnutls_certificate_verify_peers(session, &purpose, 1, &status);
    if (rc == GNUTLS_E_NO_CERTIFICATE_FOUND) {
	return "the server sent no certificate";
    }
    if (rc < 0) {
	return std::string("the server's certificate cannot be checked: ") + gnutls_strerror(rc);
    }
    if (status != 0) {
	return chainRefusal(status);
    }
    hkdir::CertificateNames names;
    if (!peerNames(session, names)) {
	return "the server's certificate cannot be read";
    }
    if (!hkdir::certificateFitsHost(names, host)) {
	return hkdir::certificateMismatchText(names, host);
    }
    return std::string();
}

/* Why a handshake failed, from GnuTLS's code. */
std::string
handshakeRefusal(const TlsSession &tls, int rc)
{
    std::string text;
    if (rc == GNUTLS_E_FATAL_ALERT_RECEIVED) {
	text = std::string("TLS alert from the server: ")
		+ gnutls_alert_get_name(gnutls_alert_get(tls.session));
    } else if (rc == GNUTLS_E_PREMATURE_TERMINATION || rc == GNUTLS_E_PULL_ERROR
	    || rc == GNUTLS_E_PUSH_ERROR) {
	text = "the server closed the connection during the TLS handshake";
    } else {
	text = std::string("TLS handshake failed: ") + trimmed(gnutls_strerror(rc));
    }
    if (gnutls_certificate_client_get_request_status(tls.session) != 0) {
	text += "; it asked for a client certificate, and none is offered";
    }
    return text;
}

/* Switches the socket between blocking and not. */
void
setBlocking(int fd, bool blocking)
{
    int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) {
	fcntl(fd, F_SETFL, blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK));
    }
}

/*
 * The handshake on a non-blocking socket, each wait for the socket
 * bounded by what is left of seconds (0: none): 0, GnuTLS's code of the
 * failure, or GNUTLS_E_TIMEDOUT.
 */
int
boundedHandshake(TlsSession &tls, unsigned seconds)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    setBlocking(tls.fd, false);
    int rc;
    for (;;) {
	rc = gnutls_handshake(tls.session);
	if (rc == 0 || gnutls_error_is_fatal(rc)) {
	    break;
	}
	int wait = -1;
	if (seconds > 0) {
	    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
		    deadline - std::chrono::steady_clock::now()).count();
	    if (left <= 0) {
		rc = GNUTLS_E_TIMEDOUT;
		break;
	    }
	    wait = static_cast<int>(left);
	}
	if (rc != GNUTLS_E_AGAIN) {
	    continue;		/* interrupted, or a warning alert */
	}
	struct pollfd p = {tls.fd,
		static_cast<short>(gnutls_record_get_direction(tls.session) ? POLLOUT : POLLIN), 0};
	int ready = poll(&p, 1, wait);
	if (ready == 0) {
	    rc = GNUTLS_E_TIMEDOUT;
	    break;
	}
    }
    setBlocking(tls.fd, true);
    return rc;
}

/* What a failed read or write of the session leaves for libldap: -1 and errno. */
ber_slen_t
ioFailure(TlsSession &tls, ssize_t rc)
{
    if (rc == GNUTLS_E_AGAIN) {
	errno = EAGAIN;		/* the socket's time-out: libldap waits on */
    } else if (rc == GNUTLS_E_INTERRUPTED) {
	errno = EINTR;
    } else {
	if (tls.failedWith == 0) {
	    tls.failedWith = static_cast<int>(rc);
	    if (rc == GNUTLS_E_FATAL_ALERT_RECEIVED) {
		tls.alert = gnutls_alert_get_name(gnutls_alert_get(tls.session));
	    }
	}
	errno = ECONNRESET;
    }
    return -1;
}

TlsSession *
sessionOf(Sockbuf_IO_Desc *sbiod)
{
    return static_cast<TlsSession *>(sbiod->sbiod_pvt);
}

int
layerSetup(Sockbuf_IO_Desc *sbiod, void *arg)
{
    sbiod->sbiod_pvt = arg;
    return 0;
}

int
layerRemove(Sockbuf_IO_Desc *sbiod)
{
    delete sessionOf(sbiod);
    sbiod->sbiod_pvt = nullptr;
    return 0;
}

int
layerCtrl(Sockbuf_IO_Desc *sbiod, int opt, void *arg)
{
    TlsSession *tls = sessionOf(sbiod);
    if (opt == LBER_SB_OPT_DATA_READY && tls != nullptr
	    && gnutls_record_check_pending(tls->session) > 0) {
	return 1;		/* decrypted data waits: no need to poll the socket */
    }
    if (opt == SB_OPT_HOSTKIT_SESSION && arg != nullptr) {
	*static_cast<TlsSession **>(arg) = tls;
	return 1;
    }
    if (opt == LBER_SB_OPT_GET_SSL && arg != nullptr && tls != nullptr && libldapSpeaksGnuTls()) {
	tls->libldapView.session = tls->session;
	*static_cast<void **>(arg) = &tls->libldapView;
	return 1;
    }
    return LBER_SBIOD_CTRL_NEXT(sbiod, opt, arg);
}

ber_slen_t
layerRead(Sockbuf_IO_Desc *sbiod, void *buffer, ber_len_t length)
{
    TlsSession &tls = *sessionOf(sbiod);
    ssize_t rc;
    do {
	rc = gnutls_record_recv(tls.session, buffer, length);
    } while (rc == GNUTLS_E_WARNING_ALERT_RECEIVED);
    if (rc == 0) {
	tls.failedWith = tls.failedWith != 0 ? tls.failedWith : GNUTLS_E_PREMATURE_TERMINATION;
	errno = ECONNRESET;	/* the server closed the session */
	return 0;
    }
    return rc > 0 ? static_cast<ber_slen_t>(rc) : ioFailure(tls, rc);
}

ber_slen_t
layerWrite(Sockbuf_IO_Desc *sbiod, void *buffer, ber_len_t length)
{
    TlsSession &tls = *sessionOf(sbiod);
    ssize_t rc = gnutls_record_send(tls.session, buffer, length);
    return rc >= 0 ? static_cast<ber_slen_t>(rc) : ioFailure(tls, rc);
}

int
layerClose(Sockbuf_IO_Desc *sbiod)
{
    TlsSession *tls = sessionOf(sbiod);
    if (tls != nullptr && tls->failedWith == 0) {
	gnutls_bye(tls->session, GNUTLS_SHUT_WR);
    }
    return 0;
}

Sockbuf_IO tlsLayer = {
    layerSetup, layerRemove, layerCtrl, layerRead, layerWrite, layerClose
};

/* A failure of the TLS step with its reason. */
StepResult
refused(Failure &failure, const std::string &reason)
{
    failure.code = RC_CONNECT_ERROR;
    failure.libraryText = libraryText(failure.code);
    failure.serverText = reason;
    return STEP_TLS_FAILED;
}

} // namespace

TlsTrust::~TlsTrust()
{
    if (credentials_ != nullptr) {
	gnutls_certificate_free_credentials(
		static_cast<gnutls_certificate_credentials_t>(credentials_));
    }
}

void *
TlsTrust::release()
{
    void *credentials = credentials_;
    credentials_ = nullptr;
    return credentials;
}

StepResult
TlsTrust::load(const std::string &caCertFile, Failure &failure)
{
    gnutls_certificate_credentials_t credentials = nullptr;
    if (gnutls_certificate_allocate_credentials(&credentials) < 0) {
	return refused(failure, "no memory for TLS");
    }
    credentials_ = credentials;
    std::string reason;
    hkdir::TlsSources sources = systemTlsSources();
    if (!caCertFile.empty()) {
	if (!addCaFile(credentials, caCertFile, reason)) {
	    return refused(failure, reason);
	}
    } else {
	const std::string &file = sources.caCertFile;
	const std::string &folder = sources.caCertDir;
	if (!file.empty() && !addCaFile(credentials, file, reason)) {
	    return refused(failure, reason);
	}
	if (!folder.empty() && gnutls_certificate_set_x509_trust_dir(credentials, folder.c_str(),
		GNUTLS_X509_FMT_PEM) < 0) {
	    return refused(failure, "cannot use CA folder " + folder);
	}
	if (file.empty() && folder.empty()
		&& gnutls_certificate_set_x509_system_trust(credentials) < 0) {
	    return refused(failure, "the system's trusted CAs cannot be loaded");
	}
    }
    const std::string &crl = sources.crlFile;
    if (!crl.empty() && !addCrlFile(credentials, crl, reason)) {
	return refused(failure, reason);
    }
    return STEP_OK;
}

StepResult
startTlsSession(LDAP *conn, const std::string &host, TlsTrust &trust, unsigned seconds,
	Failure &failure)
{
    failure = Failure();
    std::unique_ptr<TlsSession> tls(new TlsSession);
    tls->credentials = static_cast<gnutls_certificate_credentials_t>(trust.release());
    ber_socket_t fd = -1;
    if (tls->credentials == nullptr || ldap_get_option(conn, LDAP_OPT_DESC, &fd) != 0 || fd < 0
	    || gnutls_init(&tls->session, GNUTLS_CLIENT) < 0) {
	return refused(failure, "TLS cannot be set up");
    }
    tls->fd = fd;
    gnutls_session_t session = tls->session;
    gnutls_set_default_priority(session);
    gnutls_credentials_set(session, GNUTLS_CRD_CERTIFICATE, tls->credentials);
    /* The name for the server's choice of certificate (SNI): a name, never an address. */
    std::string address;
    std::string sni = host.size() > 1 && host.back() == '.' ? host.substr(0, host.size() - 1) : host;
    if (!hkdir::parseAddress(host, address) && !sni.empty()) {
	gnutls_server_name_set(session, GNUTLS_NAME_DNS, sni.data(), sni.size());
    }
    gnutls_transport_set_ptr(session, reinterpret_cast<gnutls_transport_ptr_t>(
	    static_cast<intptr_t>(fd)));
    gnutls_transport_set_push_function(session, pushToSocket);
    gnutls_transport_set_pull_function(session, pullFromSocket);
    gnutls_handshake_set_timeout(session, 0);

    int rc = boundedHandshake(*tls, seconds);
    if (rc == GNUTLS_E_TIMEDOUT) {
	failure.code = RC_TIMEOUT;
	failure.libraryText = libraryText(failure.code);
	return STEP_TIMED_OUT;
    }
    if (rc != 0) {
	return refused(failure, handshakeRefusal(*tls, rc));
    }
    tls->certificateRequested = gnutls_certificate_client_get_request_status(session) != 0;
    std::string refusal = certificateRefusal(session, host);
    if (!refusal.empty()) {
	return refused(failure, refusal);
    }
    Sockbuf *sb = nullptr;
    if (ldap_get_option(conn, LDAP_OPT_SOCKBUF, &sb) != LDAP_OPT_SUCCESS || sb == nullptr
	    || ber_sockbuf_add_io(sb, &tlsLayer, LBER_SBIOD_LEVEL_TRANSPORT, tls.get()) != 0) {
	return refused(failure, "TLS cannot be set up");
    }
    tls.release();		/* the layer owns it now */
    return STEP_OK;
}

std::string
tlsRefusal(LDAP *conn)
{
    Sockbuf *sb = nullptr;
    TlsSession *tls = nullptr;
    if (ldap_get_option(conn, LDAP_OPT_SOCKBUF, &sb) != LDAP_OPT_SUCCESS || sb == nullptr
	    || ber_sockbuf_ctrl(sb, SB_OPT_HOSTKIT_SESSION, &tls) != 1 || tls == nullptr
	    || tls->failedWith == 0) {
	return std::string();
    }
    std::string text;
    if (!tls->alert.empty()) {
	text = "TLS alert from the server: " + tls->alert;
    } else if (tls->certificateRequested) {
	text = "the server ended the TLS session";
    } else {
	return std::string();
    }
    if (tls->certificateRequested) {
	text += "; it asked for a client certificate, and none is offered";
    }
    return text;
}

} // namespace hkldap
