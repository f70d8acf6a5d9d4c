/*
 * certificateNamesTest.cpp --
 *
 *	Units for the host-name rule of a server certificate
 *	(directory/base/certificateNames.h): which host names and addresses a
 *	certificate's names stand for, addresses in figures, and the text of
 *	a refusal.
 */

#include "directory/base/caFile.h"
#include "directory/base/certificateNames.h"

#include <gtest/gtest.h>

#include <string>

using namespace hkdir;

namespace {

std::string
bytes(std::initializer_list<int> values)
{
    std::string out;
    for (int v : values) {
	out.push_back(static_cast<char>(v));
    }
    return out;
}

const std::string LOOPBACK4 = bytes({127, 0, 0, 1});
const std::string LOOPBACK6 = bytes({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1});

CertificateNames
san(std::vector<std::string> dns, std::vector<std::string> ip = {}, std::vector<std::string> cn = {})
{
    CertificateNames n;
    n.hasSubjectAltName = true;
    n.dnsNames = dns;
    n.ipAddresses = ip;
    n.commonNames = cn;
    return n;
}

CertificateNames
cnOnly(std::vector<std::string> cn)
{
    CertificateNames n;
    n.commonNames = cn;
    return n;
}

struct FitCase {
    const char *what;
    CertificateNames names;
    std::string host;
    bool fits;
};

class CertificateFitTest : public ::testing::TestWithParam<FitCase> {};

TEST_P(CertificateFitTest, Host)
{
    const FitCase &c = GetParam();
    EXPECT_EQ(certificateFitsHost(c.names, c.host), c.fits) << c.what << ": " << c.host;
}

INSTANTIATE_TEST_SUITE_P(Names, CertificateFitTest, ::testing::Values(
    /* localhost is a name like any other: the certificate must hold it. */
    FitCase{"localhost only", san({"localhost"}, {}, {"localhost"}), "localhost", true},
    FitCase{"machine's name only", san({"vm"}, {}, {"vm"}), "localhost", false},
    FitCase{"localhost, not the address", san({"localhost"}), "127.0.0.1", false},
    FitCase{"case and final dot", san({"LDAP.Example.ORG"}), "ldap.example.org.", true},
    FitCase{"presented final dot", san({"ldap.example.org."}), "LDAP.example.org", true},
    FitCase{"longer name", san({"ldap.example.org"}), "ldap.example.org.evil", false},
    FitCase{"prefix of the name", san({"ldap.example.org"}), "ldap.example", false},
    FitCase{"second DNS entry", san({"a.test", "b.test"}), "b.test", true},
    /* With a subjectAltName the CN is not looked at. */
    FitCase{"CN ignored beside SAN", san({"other.invalid"}, {}, {"127.0.0.1"}), "127.0.0.1", false},
    FitCase{"CN name ignored beside SAN", san({"other.invalid"}, {}, {"ldap.test"}), "ldap.test", false},
    FitCase{"SAN without DNS entries", san({}, {}, {"ldap.test"}), "ldap.test", false},
    FitCase{"CN without SAN", cnOnly({"ldap.test"}), "LDAP.test", true},
    FitCase{"any of several CNs", cnOnly({"a.test", "ldap.test"}), "ldap.test", true},
    FitCase{"no names at all", CertificateNames(), "ldap.test", false},
    /* Addresses in figures: IP entries only, or a CN of the same address without SAN. */
    FitCase{"IP entry", san({"localhost"}, {LOOPBACK4}), "127.0.0.1", true},
    FitCase{"other IP entry", san({}, {bytes({127, 0, 0, 2})}), "127.0.0.1", false},
    FitCase{"address as DNS entry", san({"127.0.0.1"}), "127.0.0.1", false},
    FitCase{"address CN without SAN", cnOnly({"127.0.0.1"}), "127.0.0.1", true},
    FitCase{"other address CN", cnOnly({"127.0.0.2"}), "127.0.0.1", false},
    FitCase{"IPv6 entry", san({}, {LOOPBACK6}), "::1", true},
    FitCase{"IPv6 in brackets", san({}, {LOOPBACK6}), "[0:0::1]", true},
    FitCase{"IPv6 against IPv4 entry", san({}, {LOOPBACK4}), "::ffff:127.0.0.1", false},
    FitCase{"IPv6 CN without SAN", cnOnly({"0:0:0:0:0:0:0:1"}), "::1", true},
    FitCase{"entry of odd length", san({}, {bytes({127, 0, 0})}), "127.0.0.1", false},
    /* A host that is not strictly an address is a name and needs a DNS entry. */
    FitCase{"short address form", san({}, {LOOPBACK4}), "127.1", false},
    FitCase{"leading zero", san({}, {LOOPBACK4}), "127.0.0.01", false},
    /* Wildcards: the whole left-most label, one label, two labels after it. */
    FitCase{"wildcard one label", san({"*.x.test"}), "a.x.test", true},
    FitCase{"wildcard case-blind", san({"*.X.Test"}), "A.x.TEST", true},
    FitCase{"wildcard two labels", san({"*.x.test"}), "a.b.x.test", false},
    FitCase{"wildcard no label", san({"*.x.test"}), "x.test", false},
    FitCase{"wildcard empty label", san({"*.x.test"}), ".x.test", false},
    FitCase{"wildcard over one label", san({"*.test"}), "x.test", false},
    FitCase{"partial wildcard", san({"a*.x.test"}), "ab.x.test", false},
    FitCase{"inner wildcard", san({"a.*.test"}), "a.x.test", false},
    FitCase{"wildcard alone", san({"*"}), "localhost", false},
    FitCase{"wildcard for an address", san({"*.0.0.1"}), "127.0.0.1", false},
    FitCase{"wildcard CN without SAN", cnOnly({"*.x.test"}), "a.x.test", true},
    /* A NUL byte in a name matches nothing, on either side. */
    FitCase{"NUL in the presented name", san({std::string("ldap.test\0.evil", 15)}),
	    "ldap.test", false},
    FitCase{"NUL in both", san({std::string("a\0b", 3)}), std::string("a\0b", 3), false},
    FitCase{"empty host", san({""}), "", false}
));

struct AddressCase {
    const char *text;
    bool ok;
    std::string bytes;
};

class AddressTest : public ::testing::TestWithParam<AddressCase> {};

TEST_P(AddressTest, Parses)
{
    const AddressCase &c = GetParam();
    std::string out = "unchanged";
    ASSERT_EQ(parseAddress(c.text, out), c.ok) << c.text;
    EXPECT_EQ(out, c.ok ? c.bytes : std::string("unchanged")) << c.text;
}

INSTANTIATE_TEST_SUITE_P(Texts, AddressTest, ::testing::Values(
    AddressCase{"127.0.0.1", true, LOOPBACK4},
    AddressCase{"0.0.0.0", true, bytes({0, 0, 0, 0})},
    AddressCase{"255.255.255.255", true, bytes({255, 255, 255, 255})},
    AddressCase{"256.0.0.1", false, ""},
    AddressCase{"1.2.3", false, ""},
    AddressCase{"1.2.3.4.5", false, ""},
    AddressCase{"1.2.3.", false, ""},
    AddressCase{"01.2.3.4", false, ""},
    AddressCase{"1.2.3.4 ", false, ""},
    AddressCase{"[1.2.3.4]", false, ""},
    AddressCase{"::1", true, LOOPBACK6},
    AddressCase{"[::1]", true, LOOPBACK6},
    AddressCase{"::", true, std::string(16, '\0')},
    AddressCase{"0:0:0:0:0:0:0:1", true, LOOPBACK6},
    AddressCase{"fe80::1%eth0", true, bytes({0xfe, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1})},
    AddressCase{"::FFFF:192.0.2.1", true,
	    bytes({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff, 192, 0, 2, 1})},
    AddressCase{"1:2:3:4:5:6:7::", true, bytes({0, 1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0, 7, 0, 0})},
    AddressCase{"1:2:3:4:5:6:7:8:9", false, ""},
    AddressCase{"1:2:3:4:5:6:7", false, ""},
    AddressCase{"1::2::3", false, ""},
    AddressCase{":::", false, ""},
    AddressCase{"1:", false, ""},
    AddressCase{":1", false, ""},
    AddressCase{"12345::", false, ""},
    AddressCase{"g::", false, ""},
    AddressCase{"1.2.3.4::", false, ""},
    AddressCase{"ldap.test", false, ""},
    AddressCase{"", false, ""}
));

TEST(CertificateMismatch, NamesWhatTheCertificateHolds)
{
    EXPECT_EQ(certificateMismatchText(san({"other.invalid"}, {LOOPBACK4, LOOPBACK6}, {"x"}),
		  "127.0.0.2"),
	    "hostname (127.0.0.2) does not match subjectAltName in certificate "
	    "(DNS:other.invalid, IP:127.0.0.1, IP:::1)");
    EXPECT_EQ(certificateMismatchText(cnOnly({"vm"}), "localhost"),
	    "hostname (localhost) does not match common name in certificate (vm)");
    EXPECT_EQ(certificateMismatchText(san({}), "a"),
	    "hostname (a) does not match subjectAltName in certificate (no DNS or IP entry)");
    EXPECT_EQ(certificateMismatchText(CertificateNames(), "a"),
	    "hostname (a) does not match common name in certificate (none)");
    /* IPv6 in its short form, the longest run of zeros cut. */
    EXPECT_EQ(certificateMismatchText(san({}, {bytes({0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 1,
		      0, 0, 0, 0, 0, 1})}), "h"),
	    "hostname (h) does not match subjectAltName in certificate (IP:2001:db8::1:0:0:1)");
}

TEST(CertificateMismatch, HostileNamesStayOneShortLine)
{
    std::vector<std::string> many = {std::string("evil\n\x1b[2J", 9), std::string(10000, 'a')};
    for (int i = 0; i < 40; i++) {
	many.push_back("n" + std::to_string(i) + ".test");
    }
    std::string text = certificateMismatchText(san(many), std::string("h\rx", 3));
    EXPECT_EQ(text.find_first_of("\r\n\x1b"), std::string::npos) << text;
    EXPECT_LT(text.size(), 2000u);
    EXPECT_NE(text.find("hostname (h?x)"), std::string::npos) << text;
    EXPECT_NE(text.find(", and 26 more)"), std::string::npos) << text;
}

} // namespace

TEST(CaSources, LdapConfLinesThatNameCasAndRevocations)
{
    TlsSources sources;
    readLdapConfTls("# TLS_CACERT /not/this\n"
	    "BASE dc=example,dc=org\n"
	    "  tls_cacert   /etc/ssl/first.pem  \n"
	    "TLS_CACERTDIR\t/etc/ssl/certs\r\n"
	    "TLS_REQCERT never\n"
	    "TLS_CACERT /etc/ssl/second.pem\n"
	    "TLS_CRLFILE\n"
	    "TLS_CRLFILE /etc/ssl/revoked.pem", sources);
    EXPECT_EQ(sources.caCertFile, "/etc/ssl/second.pem");
    EXPECT_EQ(sources.caCertDir, "/etc/ssl/certs");
    EXPECT_EQ(sources.crlFile, "/etc/ssl/revoked.pem");

    TlsSources none;
    readLdapConfTls("TLS_CACERTFILE /x\nTLS_CACERTS /y\n#\n\n", none);
    EXPECT_TRUE(none.caCertFile.empty() && none.caCertDir.empty() && none.crlFile.empty());
}
