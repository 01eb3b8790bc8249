"""The Graph stand-in against what C++ clients will rely on: who may sign in
where, what a token may do, the clouds' hosts, groups and shared mailboxes.
One stand-in on a free port serves every case; each starts from the empty state."""

import base64
import json
import os
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.error
import urllib.parse
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
FULL = "https://graph.microsoft.com/MailboxSettings.ReadWrite offline_access openid profile"
NAMED = "MailboxSettings.ReadWrite offline_access openid profile"
DEFAULT = "https://graph.microsoft.com/.default"
PERSONAL_TID = "9188040d-6c67-4c5b-b112-36a304b66dad"
US, DOD, CN = "graph.microsoft.us", "dod-graph.microsoft.us", "microsoftgraph.chinacloudapi.cn"
BASE = None


def setUpModule():
    global PROCESS, FOLDER, BASE
    FOLDER = tempfile.TemporaryDirectory()
    port_file = os.path.join(FOLDER.name, "port")
    # --exit-with: a runner killed outright leaves no stand-in behind.
    PROCESS = subprocess.Popen([sys.executable, os.path.join(HERE, "graph_standin.py"), "--port-file", port_file,
                                "--exit-with", str(os.getpid())], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for _ in range(400):
        if os.path.exists(port_file):
            break
        time.sleep(0.025)
    with open(port_file) as f:
        BASE = "http://127.0.0.1:%d" % int(f.read())


def tearDownModule():
    PROCESS.terminate()
    PROCESS.wait()
    FOLDER.cleanup()


def call(method, path, body=None, form=None, token=None, headers=None):
    """(status, JSON answer); path may be a whole URL, as next links are."""
    headers = dict(headers or {}, **({"Authorization": "Bearer " + token} if token else {}))
    data = urllib.parse.urlencode(form).encode() if form is not None else \
        json.dumps(body).encode() if body is not None else None
    url = path if path.startswith("http") else BASE + urllib.parse.quote(path, safe="/?=&$,:@%")
    try:
        with urllib.request.urlopen(urllib.request.Request(url, data, headers, method=method)) as response:
            return response.status, json.loads(response.read() or b"{}")
    except urllib.error.HTTPError as error:
        return error.code, json.loads(error.read() or b"{}")


def control(path, body=None):
    status, answer = call("POST", "/_control/" + path, body or {})
    assert status == 200, (path, answer)
    return answer


def sign_in(user, authority="common", scope=FULL, client="cli", login=""):
    """The token poll's answer once user approves, or the device code request's when that fails."""
    control("settings", {"sign_in_user": user, "poll_script": ["approve"]})
    prefix = "/" + login if login else ""
    status, started = call("POST", "%s/%s/oauth2/v2.0/devicecode" % (prefix, authority),
                           form={"client_id": client, "scope": scope})
    if status != 200:
        return status, started
    return call("POST", "%s/%s/oauth2/v2.0/token" % (prefix, authority),
                form={"grant_type": "urn:ietf:params:oauth:grant-type:device_code", "client_id": client,
                      "device_code": started["device_code"]})


def token(*args, **kwargs):
    status, answer = sign_in(*args, **kwargs)
    assert status == 200, answer
    return answer["access_token"]


def app_token(client, consent, cloud="global", login="", scope=DEFAULT):
    secret = control("app/register", {"client_id": client, "tenant": "contoso.com", "secret": True,
                                      "consent": consent, "cloud": cloud})["secret"]
    return call("POST", ("/" + login if login else "") + "/contoso.com/oauth2/v2.0/token",
                form={"grant_type": "client_credentials", "client_id": client, "client_secret": secret,
                      "scope": scope})[1].get("access_token")


def outcome(answer, status):
    return (answer.get("error_codes") or [status])[0]


class StandInTest(unittest.TestCase):
    def setUp(self):
        control("reset")
        control("user", {"oid": "w1", "upn": "wendy@contoso.com", "mail": "wendy@contoso.com",
                         "categories": [{"displayName": "Red"}, {"displayName": "Blue"}]})
        control("user", {"oid": "w2", "upn": "walt@contoso.com", "mail": "walt@contoso.com"})
        control("user", {"oid": "p1", "upn": "pat@outlook.com", "personal": True})
        control("user", {"oid": "sh", "upn": "desk@contoso.com", "mail": "desk@contoso.com", "enabled": False})

    def test_who_may_sign_in_where(self):
        control("settings", {"tenant_id": "t-id", "tenant_domains": ["contoso.com"]})
        cases = [  # app audience (None: not registered), authority, user, scope, AADSTS code or 200
            (None, "common", "w1", FULL, 200), (None, "common", "p1", NAMED, 200),
            (None, "organizations", "p1", NAMED, 500200), (None, "consumers", "p1", NAMED, 200),
            (None, "consumers", "w1", NAMED, 50034), (None, PERSONAL_TID, "p1", NAMED, 200),
            (None, "contoso.com", "w1", FULL, 200), (None, "t-id", "w1", FULL, 200),
            (None, "contoso.com", "p1", NAMED, 500200), (None, "fabrikam.com", "w1", FULL, 90002),
            (None, "consumers", "p1", DEFAULT, 70011), (None, "common", "p1", DEFAULT, 70011),
            (None, "common", "w1", DEFAULT, 200), (None, "organizations", "sh", FULL, 50057),
            ("AzureADMyOrg", "common", "w1", FULL, 50194), ("AzureADMyOrg", "contoso.com", "w1", FULL, 200),
            ("AzureADMultipleOrgs", "common", "p1", NAMED, 500200),
            ("AzureADMultipleOrgs", "consumers", "p1", NAMED, 700016),
            ("AzureADandPersonalMicrosoftAccount", "common", "p1", NAMED, 200),
            ("PersonalMicrosoftAccount", "common", "p1", NAMED, 9002331),
            ("PersonalMicrosoftAccount", "consumers", "w1", NAMED, 50034)]
        for audience, authority, user, scope, expected in cases:
            with self.subTest(audience=audience, authority=authority, user=user, scope=scope):
                if audience:
                    control("app/register", {"client_id": "pub", "audience": audience})
                status, answer = sign_in(user, authority, scope, "pub" if audience else "cli")
                self.assertEqual(outcome(answer, status), expected, answer)
                if status == 200 and "openid" in scope:
                    part = answer["id_token"].split(".")[1]
                    tid = json.loads(base64.urlsafe_b64decode(part + "=" * (-len(part) % 4)))["tid"]
                    self.assertEqual(tid, PERSONAL_TID if user == "p1" else "t-id")

    def test_what_a_token_may_do(self):
        reader, auditor = token("w1", scope="MailboxSettings.Read openid"), app_token("a", ["MailboxSettings.Read"])
        red = call("GET", "/_control/categories?user=w1")[1]["value"][0]["id"]
        for who, (bearer, mine) in {"delegated": (reader, "/me"), "app": (auditor, "/users/w1")}.items():
            path = "/v1.0%s/outlook/masterCategories" % mine
            batch = {"requests": [{"id": "1", "method": "GET", "url": path[5:]},
                                  {"id": "2", "method": "POST", "url": path[5:], "body": {"displayName": "N"},
                                   "headers": {"Content-Type": "application/json"}}]}
            with self.subTest(who=who):
                self.assertEqual(call("GET", path, token=bearer)[0], 200)
                for method, where, body in (("POST", path, {"displayName": "N"}),
                                            ("PATCH", path + "/" + red, {"color": "preset4"}),
                                            ("DELETE", path + "/" + red, None)):
                    status, answer = call(method, where, body, token=bearer)
                    self.assertEqual((status, answer["error"]["code"]), (403, "ErrorAccessDenied"))
                answer = call("POST", "/v1.0/$batch", batch, token=bearer)[1]
                self.assertEqual({r["id"]: r["status"] for r in answer["responses"]}, {"1": 200, "2": 403})
        # A delegated sign-in reaches its own mailbox alone, by any name; the application reaches all.
        writer, deployer = token("w1"), app_token("d", ["MailboxSettings.ReadWrite"])
        for mailbox, delegated in (("wendy@contoso.com", 201), ("w2", 403), ("desk@contoso.com", 403)):
            path = "/v1.0/users/%s/outlook/masterCategories" % mailbox
            with self.subTest(mailbox=mailbox):
                self.assertEqual(call("POST", path, {"displayName": "X"}, token=writer)[0], delegated)
                self.assertEqual(call("POST", path, {"displayName": "Y"}, token=deployer)[0], 201)

    def test_directory_reads_need_their_permission(self):
        control("group", {"id": "g", "members": ["w1"]})
        for n, (consent, users, members) in enumerate([
                (["MailboxSettings.ReadWrite"], 403, 403), (["User.Read.All"], 200, 403),
                (["GroupMember.Read.All"], 403, 200), (["Group.Read.All"], 403, 200),
                (["Directory.Read.All"], 200, 200)]):
            with self.subTest(consent=consent):
                bearer = app_token("r%d" % n, consent)
                self.assertEqual(call("GET", "/v1.0/users", token=bearer)[0], users)
                status, answer = call("GET", "/v1.0/groups/g/transitiveMembers", token=bearer)
                self.assertEqual(status, members)
                if status == 403:
                    self.assertEqual(answer["error"]["code"], "Authorization_RequestDenied")
        personal = token("p1", "consumers", "GroupMember.Read.All " + NAMED)
        self.assertEqual(call("GET", "/v1.0/groups/g/transitiveMembers", token=personal)[0], 403)

    def test_each_cloud_takes_only_its_own_tokens(self):
        us = "login.microsoftonline.us"
        tokens = {"": token("w1"), US: token("w1", "organizations", NAMED, login=us),
                  DOD: token("w1", "organizations", "https://%s/MailboxSettings.ReadWrite" % DOD, login=us),
                  "app" + US: app_token("g", ["MailboxSettings.ReadWrite"], "usgov", us, "https://%s/.default" % US)}
        for held, bearer in tokens.items():
            for host in ("", "graph.microsoft.com", US, DOD):
                with self.subTest(token=held, host=host):
                    status, answer = call("GET", "%s/v1.0/users/w1/outlook/masterCategories" %
                                          ("/" + host if host else ""), token=bearer)
                    fits = held.replace("app", "") == host or (held == "" and host == "graph.microsoft.com")
                    self.assertEqual((status, answer.get("error", {}).get("code")),
                                     (200, None) if fits else (401, "InvalidAuthenticationToken"))
        log = call("GET", "/_control/log")[1]["requests"]
        self.assertEqual([e["host"] for e in log[:3]], ["login.microsoftonline.com"] * 2 + ["login.microsoftonline.us"])
        self.assertEqual(log[-1]["host"], DOD)
        self.assertTrue(log[-1]["path"].startswith("/v1.0/users/"))
        # Nothing crosses from one cloud to another.
        for login, authority, user, scope, expected in ((us, "organizations", "w1", FULL, 500011),
                                                        (us, "consumers", "p1", NAMED, 90002),
                                                        (us, "common", "p1", NAMED, 500200)):
            with self.subTest(login=login, authority=authority, user=user):
                status, answer = sign_in(user, authority, scope, login=login)
                self.assertEqual(outcome(answer, status), expected)
        refresh = sign_in("w1", "organizations", NAMED, login=us)[1]["refresh_token"]
        status, _ = call("POST", "/organizations/oauth2/v2.0/token", form={
            "grant_type": "refresh_token", "client_id": "cli", "refresh_token": refresh})
        self.assertEqual(status, 400)
        self.assertIsNone(app_token("world", ["MailboxSettings.ReadWrite"], login=us, scope="https://%s/.default" % US))

    def test_china_lacks_categories_and_pages_keep_their_host(self):
        china = token("w1", "organizations", NAMED, login="login.chinacloudapi.cn")
        status, answer = call("GET", "/%s/v1.0/me/outlook/masterCategories" % CN, token=china)
        self.assertEqual((status, answer["error"]["code"]), (400, "BadRequest"))
        gov = token("w1", "organizations", NAMED, login="login.microsoftonline.us")
        control("settings", {"page_size": 1})
        answer = call("GET", "/%s/v1.0/me/outlook/masterCategories" % US, token=gov)[1]
        self.assertTrue(answer["@odata.nextLink"].startswith("%s/%s/v1.0/me/" % (BASE, US)))

    def members(self, bearer, path):
        found, pages, link = [], 0, path
        while link:
            status, answer = call("GET", link, token=bearer)
            self.assertEqual(status, 200, answer)
            found, pages, link = found + answer["value"], pages + 1, answer.get("@odata.nextLink")
        return found, pages

    def test_groups_flatten_and_page(self):
        bearer = app_token("dir", ["User.Read.All", "GroupMember.Read.All"])
        control("group", {"id": "inner", "members": ["w2", "sh", "outer"]})
        control("group", {"id": "outer", "members": ["w1", "inner", "w2", "laptop", {
            "id": "c1", "@odata.type": "#microsoft.graph.orgContact"}]})
        found, _ = self.members(bearer, "/v1.0/groups/outer/transitiveMembers?$select=id,accountEnabled")
        self.assertEqual([(m["@odata.type"].split(".")[-1], m["id"], m.get("accountEnabled")) for m in found], [
            ("user", "w1", True), ("group", "inner", None), ("user", "w2", True), ("user", "sh", False),
            ("device", "laptop", None), ("orgContact", "c1", None)])
        control("settings", {"group_page_size": 2})
        found, pages = self.members(bearer, "/v1.0/groups/outer/transitiveMembers?$top=3")
        self.assertEqual((len(found), pages), (6, 3))
        status, answer = call("GET", "/v1.0/groups/nope/transitiveMembers", token=bearer)
        self.assertEqual((status, answer["error"]["code"]), (404, "Request_ResourceNotFound"))

    def test_users_with_a_mailbox_take_an_advanced_query(self):
        bearer = app_token("dir", ["User.Read.All"])
        answer = call("GET", "/v1.0/users?$filter=accountEnabled eq true&$select=id,accountEnabled", token=bearer)[1]
        self.assertEqual([(u["id"], u["accountEnabled"]) for u in answer["value"]], [("w1", True), ("w2", True)])
        query = "/v1.0/users?$filter=mail ne null&$count=true&$select=id"
        self.assertEqual(call("GET", query, token=bearer)[0], 400)
        eventual = {"ConsistencyLevel": "eventual"}
        self.assertEqual(call("GET", query.replace("&$count=true", ""), token=bearer, headers=eventual)[0], 400)
        answer = call("GET", query, token=bearer, headers=eventual)[1]
        self.assertEqual(([u["id"] for u in answer["value"]], answer["@odata.count"]), (["w1", "w2", "sh"], 3))

    def test_load_makes_shared_mailboxes_and_nested_groups(self):
        control("reset")
        control("app/mailboxes", {"count": 200, "prefix": "mb", "names": [{"displayName": "A"}]})
        made = control("load", {"enabled": False, "prefix": "mb", "shared_share": 0.25, "seed": 3,
                                "group_id": "all", "nested_groups": 4})
        self.assertEqual(made, {"shared": 50, "group_members": 200})
        found, _ = self.members(app_token("dir", ["GroupMember.Read.All"]), "/v1.0/groups/all/transitiveMembers")
        users = {m["id"]: m["accountEnabled"] for m in found if m["@odata.type"] == "#microsoft.graph.user"}
        self.assertEqual((len(users), list(users.values()).count(False)), (200, 50))
        self.assertEqual(len(found), 200 + 4 + 1)


if __name__ == "__main__":
    unittest.main()
