"""--updateapp end to end: the real executable asks the component service peer, with the deploy
platform from the partner file in the prefix's common application-data folder and the version
of an installed test product."""

import re
import unittest

import testproducts
from componentservice import ComponentService, ServiceDown
from partnerfile import PartnerFile
from programfolder import DURATION, ProgramFolderTest

CHECKING = "Checking for application update...\n"
NEWER = "New version is available for downloading. Url: "
LATEST = "You have the latest version\n"
NO_INFO = "Couldn't get server version info\n"
# The last line, a line of its own.
LAST_LINE = re.compile("^" + DURATION.pattern, re.MULTILINE)
URL = "http://127.0.0.1:47612/downloads/BriskenCommandLineScanner.msi"
UUID = re.compile(r"[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}\Z")
NO_PARTNER_LOG = b"Info: deploy platform from file=\r\n"


class UpdateAppTest(ProgramFolderTest):

    def setUp(self):
        super().setUp()
        self.partner = PartnerFile()
        self.addCleanup(self.partner.close)
        self.partner.remove()
        testproducts.remove_all()
        self.addCleanup(testproducts.remove_all)

    def update_app(self, *answer):
        """Runs --updateapp against a peer giving answer (no service for None); returns the console
        text before the duration line and the fields of the request the peer received, which a
        peer always got."""
        down = answer == (None,)
        service = ServiceDown() if down else ComponentService(*answer)
        try:
            run = self.folder.run("--updateapp")
            fields = service.request_fields()
        finally:
            service.close()
        self.assertEqual(0, run.returncode, run.stdout + run.stderr)
        if not down:
            self.assertIsNotNone(fields, "the peer got no request")
        match = LAST_LINE.search(run.stdout)
        self.assertIsNotNone(match, run.stdout)
        return run.stdout[:match.start()], fields

    def test_verdict_compares_the_service_version_with_the_own_one(self):
        for version, verdict in [
            ("11.11.905.9128", NEWER + URL + "\n"),
            ("12.0.0.0", NEWER + URL + "\n"),
            ("11,11,905,9128", NEWER + URL + "\n"),
            ("11.11.905.9127", LATEST),
            ("11-11-905-9127", LATEST),
            ("11.11.904.9999", LATEST),
            ("not a version", LATEST),
            ("-1.-1.-1.-1", LATEST),
            ("+12.0.0.0", LATEST),
        ]:
            with self.subTest(version=version):
                # One argument: the peer would take "-1.-1.-1.-1" alone for an option.
                output, _ = self.update_app("--version=" + version)
                self.assertEqual(CHECKING + verdict, output)

    def test_download_line_carries_the_url_as_the_service_gives_it(self):
        # Output redirected to a file is in the ANSI code page (1252 here): a character it lacks
        # shows as "?", and neither the rest of the line nor the duration line is lost.
        for url, printed in [
            ("http://downloads.invalid/brisken/11.12/Setup.msi?channel=beta&x=1", None),
            ("http://downloads.invalid/caf\u00e9/Setup.msi", None),
            ("http://downloads.invalid/\u0437\u0430\u0433\u0440\u0443\u0437\u043a\u0430/Setup.msi",
             "http://downloads.invalid/????????/Setup.msi"),
        ]:
            with self.subTest(url=url):
                output, _ = self.update_app("--version", "11.12.0.0", "--url", url)
                self.assertEqual(CHECKING + NEWER + (printed or url) + "\n", output)

    def test_control_characters_in_the_url_neither_forge_lines_nor_reach_the_terminal(self):
        for url, printed in [
            ("http://downloads.invalid/a\nRequest duration: 00:00:00.000001\nYou have the latest version",
             "http://downloads.invalid/a?Request duration: 00:00:00.000001?You have the latest version"),
            ("http://downloads.invalid/\x1b[2J\x1b]0;title\x07\x7f\u0085\u009b.msi",
             "http://downloads.invalid/?[2J?]0;title????.msi"),
        ]:
            with self.subTest(url=url):
                output, _ = self.update_app("--version", "11.12.0.0", "--url", url)
                self.assertEqual(CHECKING + NEWER + printed + "\n", output)

    def test_no_usable_answer_says_it_could_not_get_the_version(self):
        for answer in [
            (None,),
            ("--fault", "Service unavailable"),
            ("--no-result",),
            ("--malformed",),
            ("--entity", "internal"),
            ("--entity", "external"),
            ("--entity", "undeclared"),
            # References to characters XML does not allow.
            ("--raw-url", "http://127.0.0.1/&#0;x.msi"),
            ("--raw-url", "http://127.0.0.1/&#1;x.msi"),
            ("--raw-url", "http://127.0.0.1/&#xD800;x.msi"),
            ("--omit", "Id"),
            ("--omit", "Version"),
            ("--omit", "DownloadUrl"),
            ("--id", ""),
            ("--version", ""),
            ("--url", ""),
            # Not all of it arrived, or more than one answer did.
            ("--declare-length", "+1000"),
            ("--after-envelope", "junk text"),
        ]:
            with self.subTest(answer=answer):
                output, _ = self.update_app(*answer)
                self.assertEqual(CHECKING + NO_INFO, output)

    def test_the_verdict_is_the_same_wherever_the_network_cuts_the_reply(self):
        # The peer cuts where the marks | stand, each piece a TCP write or an HTTP chunk of its own.
        undefined = ("--raw-url", "http://127.0.0.1/&nbsp;x.msi")
        known = ("--raw-url", "http://127.0.0.1/a&amp;b.msi")
        for answer, verdict in [
            (undefined + ("--cut", "&|nbsp;"), NO_INFO),
            (undefined + ("--cut", "&nb|sp;", "--chunked"), NO_INFO),
            (undefined + ("--cut", "|&|n|b|s|p|;|", "--chunked"), NO_INFO),
            (("--after-envelope", "<!DOCTYPE r>", "--cut", "</soap:Envelope>|<!"), NO_INFO),
            (known + ("--cut", "|&|a|m|p|;|"), NEWER + "http://127.0.0.1/a&b.msi\n"),
            (known + ("--cut", "|&|a|m|p|;|", "--chunked"), NEWER + "http://127.0.0.1/a&b.msi\n"),
        ]:
            with self.subTest(answer=answer):
                output, _ = self.update_app(*answer)
                self.assertEqual(CHECKING + verdict, output)

    def test_missing_notes_do_not_matter(self):
        output, _ = self.update_app("--omit", "Notes")
        self.assertEqual(CHECKING + NEWER + URL + "\n", output)

    def test_request_carries_the_installed_version_and_platform_unchanged(self):
        for fixture, installed in [(None, ""), ("Current", "11.11.905.9127"), ("Older", "11.11.904.1")]:
            with self.subTest(installed=fixture):
                testproducts.remove_all()
                if fixture:
                    testproducts.install(fixture)
                self.partner.write(b'{"platform": "beta-2"}')
                _, fields = self.update_app("--version", "11.11.905.9127")
                self.assertEqual(["UserId", "ComponentId", "OsPlatfrom", "DeployPlatfrom", "RequiredVersion",
                                  "InstalledVersion"], [name for name, _ in fields])
                values = dict(fields)
                self.assertRegex(values["UserId"], UUID)
                self.assertEqual(("BriskenCommandLineScanner", "x64", "beta-2", "", installed),
                                 (values["ComponentId"], values["OsPlatfrom"], values["DeployPlatfrom"],
                                  values["RequiredVersion"], values["InstalledVersion"]))

    def test_partner_file_gives_the_deploy_platform_or_prod(self):
        reading = b"Info: reading platform from " + self.partner.windows_path().encode() + b"\r\n"
        for content, platform, log in [
            (None, "prod", NO_PARTNER_LOG),
            (b'{"platform":"beta"}', "beta", reading + b"Info: deploy platform from file=beta\r\n"),
            (b'/* partner */ {"platform":"beta"} // end\n{', "beta",
             reading + b"Info: deploy platform from file=beta\r\n"),
            (b'{"platform":""}', "prod", reading + NO_PARTNER_LOG),
            (b'{"Platform":"beta"}', "prod", reading + b"Error: couldn't find platform\r\n" + NO_PARTNER_LOG),
            (b'{"platform":7}', "prod",
             reading + b"Error: get_value< string > called on integer Value\r\n" + NO_PARTNER_LOG),
            (b'["beta"]', "prod",
             reading + b"Error: get_value< Object > called on Array Value\r\n" + NO_PARTNER_LOG),
            (b'{"platform":"b\xe9ta"}', "b\u00e9ta", reading + b"Info: deploy platform from file=b\xe9ta\r\n"),
            # After a byte-order mark the text is UTF-8; an escape names its character either way.
            (b'\xef\xbb\xbf{"platform":"b\xc3\xaata"}', "b\u00eata",
             reading + b"Info: deploy platform from file=b\xeata\r\n"),
            (b'{"platform":"b\\u00eata"}', "b\u00eata", reading + b"Info: deploy platform from file=b\xeata\r\n"),
            (b'\xef\xbb\xbf{"platform":"b\xe9ta"}', "prod",
             reading + b"Error: text after the byte-order mark is not UTF-8\r\n" + NO_PARTNER_LOG),
        ]:
            with self.subTest(content=content):
                self.partner.remove()
                if content is not None:
                    self.partner.write(content)
                _, fields = self.update_app("--version", "11.11.905.9127")
                self.assertEqual(platform, dict(fields)["DeployPlatfrom"])
                self.assertEqual(log, self.folder.log_bytes())


    def test_a_platform_that_cannot_be_sent_as_the_log_shows_it_counts_as_none(self):
        # The log would show a control character as "?", and XML cannot carry NUL, most other
        # control characters, U+FFFE or U+FFFF at all: "prod" goes instead, with an error line.
        ignored = b"Error: platform ignored, it holds a character that cannot be sent: "
        for content, shown in [
            (b'{"platform":"a\\u0000b"}', b"a?b"),
            (b'{"platform":"a\x00b"}', b"a?b"),
            (b'{"platform":"a\x1b[31mb"}', b"a?[31mb"),
            (b'{"platform":"beta\\r\\nError: forged\\u007f\\t."}', b"beta??Error: forged?\t."),
            (b'{"platform":"a\\u0085b"}', b"a?b"),
            (b'\xef\xbb\xbf{"platform":"a\xef\xbf\xbeb"}', b"a?b"),
        ]:
            with self.subTest(content=content):
                self.partner.write(content)
                _, fields = self.update_app("--version", "11.11.905.9127")
                self.assertEqual("prod", dict(fields)["DeployPlatfrom"])
                self.assertEqual(b"Info: reading platform from " + self.partner.windows_path().encode() + b"\r\n" +
                                 ignored + shown + b"\r\n" + NO_PARTNER_LOG, self.folder.log_bytes())


if __name__ == "__main__":
    unittest.main()
