"""The application's own sign-in and the tenant's user list, for the Graph
stand-in (graph_standin.py calls in here): the client-credentials grant with a
client secret or a client assertion, app-only tokens with or without admin
consent, and GET /v1.0/users with paging.

What it models, and where from:
- The client-credentials grant, its two ways of proving the app (client_secret,
  or client_assertion with client_assertion_type jwt-bearer), scope
  https://graph.microsoft.com/.default, the token answer and the error answer:
  https://learn.microsoft.com/entra/identity-platform/v2-oauth2-client-creds-grant-flow
- The assertion: alg RS256, which Pellorin signs with (the page now also names PS256),
  typ JWT, x5t#S256 = base64url SHA-256 of the certificate's DER; aud = the
  token endpoint, iss = sub = client id, jti, nbf, iat, exp:
  https://learn.microsoft.com/entra/identity-platform/certificate-credentials
  The RS256 signature (RSASSA-PKCS1-v1_5 with SHA-256) is checked against the
  registered certificate's public key, as RFC 7518 section 3.3 and RFC 8017
  section 8.2.2 define it: https://www.rfc-editor.org/rfc/rfc8017#section-8.2.2
- The AADSTS codes and texts: AADSTS7000215 (invalid client secret),
  AADSTS7000222 (expired secret), AADSTS700027 (assertion failed signature
  validation), AADSTS700016 (application not found), AADSTS7000218 (neither
  secret nor assertion), AADSTS50027 (invalid JWT: malformed, unexpected
  audience or issuer), AADSTS70011 (invalid scope), AADSTS90002 (tenant not
  found), AADSTS700024 (assertion not within its valid time range):
  https://learn.microsoft.com/entra/identity-platform/reference-error-codes
  invalid_client is answered 401, as RFC 6749 section 5.2 allows and the
  platform does; the others 400.
- An app without admin consent gets a token whose calls Graph answers 403
  ErrorAccessDenied: https://learn.microsoft.com/graph/errors
  Application permissions always need admin consent:
  https://learn.microsoft.com/graph/permissions-overview
- GET /users with $select (accountEnabled among the fields), $filter
  (accountEnabled eq true or false, mail ne null, joined by "and"), $top and
  paging by @odata.nextLink ($skiptoken); 100 users a page unless $top says
  otherwise: https://learn.microsoft.com/graph/api/user-list
  https://learn.microsoft.com/graph/paging
  ne is an advanced query: without ConsistencyLevel: eventual and $count=true
  Graph answers 400 Request_UnsupportedQuery; with them, @odata.count:
  https://learn.microsoft.com/graph/aad-advanced-queries
  Reading users as the application needs User.Read.All (or Directory.Read.All):
  https://learn.microsoft.com/graph/migrate-azure-ad-graph-permissions-differences
- Each cloud's app gets tokens from its own login host, for its own Graph
  host's .default (https://graph.microsoft.us/.default): accounts.py.

Control (under /_control/app/, the caller holding the state's lock):
  POST app/register {client_id, tenant, secret, secret_expired,
                     certificate_pem, consent: ["MailboxSettings.ReadWrite", ...],
                     audience, cloud, delegated: [...]}
       consent: the application permissions (roles) its tokens carry;
       audience, cloud, delegated: see accounts.py.
       with "secret": true the stand-in makes the app's client secret afresh
       and answers it ({"secret"}); no test or benchmark holds one of its own
  POST app/users {users: [{oid, upn, mail, accountEnabled}], count, prefix}
       adds users to the directory; with count, that many made up ones
       (prefix-N@contoso.com, every 7th without mail, every 11th disabled)
  POST app/mailboxes {count, prefix, names: [{displayName, color}], most_missing, seed}
       that many enabled users with mail, each holding the names less a
       random 0 to most_missing of them
  POST app/verify {names, prefix}
       {complete, incomplete, duplicated, examples}: mailboxes holding every
       name exactly once (letter case ignored), and those that do not
"""

import base64
import hashlib
import hmac
import json
import random
import re
import secrets
import subprocess
import time
import urllib.parse

import accounts

CLIENT_ASSERTION_TYPE = "urn:ietf:params:oauth:client-assertion-type:jwt-bearer"
# How far an assertion's nbf may lie ahead of this clock, as for any token.
CLOCK_SKEW = 300
USERS_PAGE = 100
# DER of DigestInfo for SHA-256 (RFC 8017 section 9.2, note 1), the hash follows.
SHA256_DIGEST_INFO = bytes.fromhex("3031300d060960864801650304020105000420")


def reset(state):
    state.apps = {}  # client_id -> {...}


def b64url_decode(text):
    return base64.urlsafe_b64decode(text + "=" * (-len(text) % 4))


def b64url(data):
    return base64.urlsafe_b64encode(data).rstrip(b"=").decode("ascii")


def public_key_of(pem):
    """(modulus, exponent, x5t#S256) of a PEM certificate, read by OpenSSL."""
    modulus = subprocess.run(["openssl", "x509", "-noout", "-modulus"], input=pem.encode(),
                             capture_output=True, check=True).stdout.decode()
    text = subprocess.run(["openssl", "x509", "-noout", "-text"], input=pem.encode(),
                          capture_output=True, check=True).stdout.decode()
    exponent = re.search(r"Exponent:\s*(\d+)", text)
    der = subprocess.run(["openssl", "x509", "-outform", "der"], input=pem.encode(),
                         capture_output=True, check=True).stdout
    return (int(modulus.strip().split("=", 1)[1], 16), int(exponent.group(1)),
            b64url(hashlib.sha256(der).digest()))


def rs256_valid(signing_input, signature, modulus, exponent):
    size = (modulus.bit_length() + 7) // 8
    if len(signature) != size:
        return False
    value = int.from_bytes(signature, "big")
    if value >= modulus:
        return False
    encoded = pow(value, exponent, modulus).to_bytes(size, "big")
    digest = SHA256_DIGEST_INFO + hashlib.sha256(signing_input).digest()
    expected = b"\x00\x01" + b"\xff" * (size - len(digest) - 3) + b"\x00" + digest
    return hmac.compare_digest(encoded, expected)


def sts_error(error, code, text, status=400):
    body = {"error": error, "error_description": "AADSTS%d: %s\r\nTrace ID: %s\r\nCorrelation ID: %s\r\n"
                                                 "Timestamp: %s" % (code, text, secrets.token_hex(16),
                                                                    secrets.token_hex(16),
                                                                    time.strftime("%Y-%m-%d %H:%M:%SZ")),
            "error_codes": [code], "timestamp": time.strftime("%Y-%m-%d %H:%M:%SZ"),
            "trace_id": secrets.token_hex(16), "correlation_id": secrets.token_hex(16),
            "error_uri": "https://login.microsoftonline.com/error?code=%d" % code}
    return status, {}, body


def check_assertion(app, form, endpoint):
    """None when the assertion proves the app, else the error answer."""
    if form.get("client_assertion_type") != CLIENT_ASSERTION_TYPE:
        return sts_error("invalid_request", 50027, "Invalid JWT token. The client_assertion_type is not "
                         "'%s'." % CLIENT_ASSERTION_TYPE)
    parts = form.get("client_assertion", "").split(".")
    try:
        if len(parts) != 3:
            raise ValueError("not three parts")
        header = json.loads(b64url_decode(parts[0]))
        claims = json.loads(b64url_decode(parts[1]))
        signature = b64url_decode(parts[2])
    except (ValueError, UnicodeDecodeError):
        return sts_error("invalid_request", 50027, "JWT token is invalid or malformed.")
    if not isinstance(header, dict) or not isinstance(claims, dict):
        return sts_error("invalid_request", 50027, "JWT token is invalid or malformed.")
    if header.get("alg") != "RS256" or header.get("typ") != "JWT":
        return sts_error("invalid_request", 50027, "Invalid JWT token. Unsupported alg or typ: '%s', '%s'."
                         % (header.get("alg"), header.get("typ")))
    key = app.get("key")
    thumbprint = header.get("x5t#S256")
    if key is None or thumbprint != key[2]:
        return sts_error("invalid_client", 700027, "Client assertion failed signature validation. [Reason - "
                         "The key was not found., Thumbprint of key used by client: '%s']" % thumbprint, 401)
    if not rs256_valid((parts[0] + "." + parts[1]).encode("ascii"), signature, key[0], key[1]):
        return sts_error("invalid_client", 700027, "Client assertion failed signature validation. [Reason - "
                         "The provided signature value did not match the expected signature value.]", 401)
    if claims.get("aud") != endpoint:
        return sts_error("invalid_client", 50027, "Invalid JWT token. The audience '%s' is not the token "
                         "endpoint '%s'." % (claims.get("aud"), endpoint), 401)
    if claims.get("iss") != app["client_id"] or claims.get("sub") != app["client_id"]:
        return sts_error("invalid_client", 50027, "Invalid JWT token. The issuer and subject must be the "
                         "client id.", 401)
    now = time.time()
    exp, nbf = claims.get("exp"), claims.get("nbf", 0)
    if not isinstance(exp, (int, float)) or not isinstance(nbf, (int, float)) or exp <= now or \
            nbf > now + CLOCK_SKEW:
        return sts_error("invalid_client", 700024, "Client assertion is not within its valid time range. "
                         "Current time: %d, assertion valid from %s, expiry time of assertion %s." %
                         (now, nbf, exp), 401)
    if not isinstance(claims.get("jti"), str) or not claims["jti"]:
        return sts_error("invalid_client", 50027, "Invalid JWT token. The jti claim is missing.", 401)
    return None


def client_credentials(state, server_base, tenant, path, form, entry, cloud="global"):
    """The token endpoint's answer to grant_type=client_credentials, from the
    login host of cloud; path is the token endpoint's under the stand-in."""
    client_id = form.get("client_id", "")
    entry["credential"] = "assertion" if "client_assertion" in form else \
        "secret" if "client_secret" in form else "none"
    with state.lock:
        app = state.apps.get(client_id)
    if app is None or app.get("cloud", "global") != cloud:
        return sts_error("unauthorized_client", 700016, "Application with identifier '%s' was not found in "
                         "the directory '%s'." % (client_id, tenant))
    if tenant.lower() != app["tenant"].lower():
        return sts_error("invalid_request", 90002, "Tenant '%s' not found." % tenant)
    scope = form.get("scope") or ""
    audience = urllib.parse.urlsplit(scope).netloc.lower()
    # Each cloud's Graph hosts have a .default of their own.
    if not scope.endswith("/.default") or scope != "https://%s/.default" % audience or \
            accounts.HOSTS.get(audience) != (cloud, "graph"):
        return sts_error("invalid_scope", 70011, "The provided value for the input parameter 'scope' is not "
                         "valid. The scope %s is not valid." % form.get("scope"))
    if "client_assertion" in form:
        failure = check_assertion(app, form, server_base + path)
        if failure:
            return failure
    elif "client_secret" in form:
        if app.get("secret") is None or \
                not hmac.compare_digest(form["client_secret"].encode(), app["secret"].encode()):
            return sts_error("invalid_client", 7000215, "Invalid client secret provided. Ensure the secret "
                             "being sent in the request is the client secret value, not the client secret ID, "
                             "for a secret added to app '%s'." % client_id, 401)
        if app.get("secret_expired"):
            return sts_error("invalid_client", 7000222, "The provided client secret keys for app '%s' are "
                             "expired." % client_id, 401)
    else:
        return sts_error("invalid_client", 7000218, "The request body must contain the following parameter: "
                         "'client_assertion' or 'client_secret'.", 401)
    with state.lock:
        token = "app-" + secrets.token_urlsafe(24)
        state.access[token] = {"principal": "app:" + client_id, "expiry": time.time() + state.access_lifetime,
                               "permissions": set(app["consent"]), "audience": audience, "delegated": False,
                               "personal": False}
        lifetime = state.access_lifetime
    return 200, {}, {"token_type": "Bearer", "expires_in": lifetime, "ext_expires_in": lifetime,
                     "access_token": token}


def graph_request(state, server_base, grant, method, path, full_path, rule_answer, headers):
    """An answer for the user list, or None to let the stand-in go on. A
    test's failure rules apply to it as to every Graph call, by the path
    without /v1.0."""
    if path.rstrip("/") != "/v1.0/users" or method != "GET":
        return None
    with state.lock:
        rule = state.take_rule(method, "/users", None, False)
    if rule:
        return rule_answer(rule)
    denied = accounts.graph_denial(grant, method, "users", None, graph_error)
    if denied:
        return denied
    return list_users(state, server_base, full_path, headers)


def graph_error(status, code, message):
    return status, {}, {"error": {"code": code, "message": message,
                                  "innerError": {"date": time.strftime("%Y-%m-%dT%H:%M:%S"),
                                                 "request-id": secrets.token_hex(8)}}}


# The filter clauses the stand-in knows, each a test on a user, and whether
# Graph takes it only as an advanced query (ne is one of those operators).
FILTERS = {
    "accountEnabled eq true": (lambda u: u.get("accountEnabled", True), False),
    "accountEnabled eq false": (lambda u: not u.get("accountEnabled", True), False),
    "mail ne null": (lambda u: bool(u.get("mail")), True),
}


def user_filter(query, headers):
    """(test, advanced) for $filter, or an error answer."""
    wanted = query.get("$filter")
    if wanted is None:
        return (lambda u: True), False
    clauses = [" ".join(c.split()) for c in wanted.split(" and ")]
    unknown = [c for c in clauses if c not in FILTERS]
    if unknown:
        return graph_error(400, "Request_UnsupportedQuery", "Unsupported query: the stand-in does not "
                           "filter on '%s'." % unknown[0])
    advanced = any(FILTERS[c][1] for c in clauses)
    if advanced and ((headers or {}).get("ConsistencyLevel", "").lower() != "eventual" or
                     query.get("$count", "").lower() != "true"):
        # https://learn.microsoft.com/graph/aad-advanced-queries: ne needs
        # ConsistencyLevel: eventual and $count=true, else 400 as below.
        return graph_error(400, "Request_UnsupportedQuery", "Unsupported or invalid query filter clause "
                           "specified for property 'mail' of resource 'User'.")
    return (lambda u: all(FILTERS[c][0](u) for c in clauses)), advanced


def list_users(state, server_base, full_path, headers=None):
    split = urllib.parse.urlsplit(full_path)
    query = {k: v[0] for k, v in urllib.parse.parse_qs(split.query).items()}
    checked = user_filter(query, headers)
    if len(checked) == 3:
        return checked
    test, advanced = checked
    fields = [f.strip() for f in query.get("$select", "").split(",") if f.strip()] or \
        ["id", "userPrincipalName", "mail", "displayName"]
    top = min(int(query.get("$top", USERS_PAGE)), 999)
    if state.users_page_size:
        top = min(top, state.users_page_size)
    skip = int(query.get("$skiptoken", "0") or 0)
    with state.lock:
        # Personal accounts belong to no organisation's directory.
        users = [u for u in state.users.values() if not u.get("personal") and test(u)]
        page = users[skip:skip + top]
        values = []
        for user in page:
            full = {"id": user["oid"], "userPrincipalName": user["upn"], "mail": user.get("mail"),
                    "displayName": user.get("name") or user["upn"],
                    "accountEnabled": user.get("accountEnabled", True)}
            values.append({f: full.get(f) for f in fields})
        answer = {"@odata.context": "https://graph.microsoft.com/v1.0/$metadata#users", "value": values}
        if advanced or query.get("$count", "").lower() == "true":
            answer["@odata.count"] = len(users)
        if skip + top < len(users):
            rest = {k: v for k, v in query.items() if k != "$skiptoken"}
            rest["$skiptoken"] = str(skip + top)
            answer["@odata.nextLink"] = "%s/v1.0/users?%s" % (state.next_link_base or server_base,
                                                              urllib.parse.urlencode(rest, safe="$,"))
    return 200, {}, answer


def make_mailboxes(state, body):
    """count mailboxes prefix-N@contoso.com (all enabled, with mail), each
    holding the names given less a random 0 to most_missing of them."""
    names = body.get("names", [])
    most_missing = min(int(body.get("most_missing", len(names))), len(names))
    rng = random.Random(body.get("seed"))
    prefix = body.get("prefix", "mailbox")
    missing = 0
    for n in range(int(body.get("count", 0))):
        lacking = set(rng.sample(range(len(names)), rng.randint(0, most_missing)))
        missing += len(lacking)
        categories = [{"id": secrets.token_hex(8), "displayName": c["displayName"], "color": c.get("color", "none")}
                      for i, c in enumerate(names) if i not in lacking]
        upn = "%s-%d@contoso.com" % (prefix, n)
        state.add_user({"oid": "%s-oid-%d" % (prefix, n), "upn": upn, "name": "", "mail": upn,
                        "accountEnabled": True, "categories": categories})
    return {"users": len(state.users), "missing": missing}


def verify_mailboxes(state, body):
    """How many mailboxes (those whose upn starts with prefix) hold every
    name given exactly once, letter case ignored; and what is wrong with the
    first few that do not."""
    wanted = [n.lower() for n in body.get("names", [])]
    prefix = body.get("prefix", "")
    complete = incomplete = duplicated = 0
    examples = []
    for user in state.users.values():
        if not user["upn"].startswith(prefix):
            continue
        held = [c["displayName"].lower() for c in user["categories"]]
        lacking = [n for n in wanted if n not in held]
        twice = sorted({n for n in held if held.count(n) > 1})
        if lacking:
            incomplete += 1
        if twice:
            duplicated += 1
        if not lacking and not twice:
            complete += 1
        elif len(examples) < 5:
            examples.append({"upn": user["upn"], "lacking": lacking, "twice": twice})
    return {"complete": complete, "incomplete": incomplete, "duplicated": duplicated, "examples": examples}


def control(state, method, path, body):
    """Control calls under /_control/app/; the caller holds the lock."""
    if path == "register" and method == "POST":
        key = public_key_of(body["certificate_pem"]) if body.get("certificate_pem") else None
        secret = secrets.token_urlsafe(24) if body.get("secret") is True else None
        audience = body.get("audience")
        if audience is not None and audience not in accounts.AUDIENCES:
            return 400, {}, {"error": "no such sign-in audience: %s" % audience}
        state.apps[body["client_id"]] = {"client_id": body["client_id"],
                                         "tenant": body.get("tenant", state.tenant_id),
                                         "audience": audience, "cloud": body.get("cloud", "global"),
                                         "delegated": list(body.get("delegated", accounts.DEFAULT_DELEGATED)),
                                         "secret": secret,
                                         "secret_expired": bool(body.get("secret_expired")), "key": key,
                                         "consent": list(body.get("consent", ["MailboxSettings.ReadWrite",
                                                                             "User.Read.All"]))}
        return 200, {}, {"x5t#S256": key[2] if key else None, "secret": secret}
    if path == "users" and method == "POST":
        for user in body.get("users", []):
            state.add_user({"oid": user["oid"], "upn": user["upn"], "name": user.get("name", ""),
                            "mail": user.get("mail"), "accountEnabled": user.get("accountEnabled", True),
                            "categories": []})
        prefix = body.get("prefix", "user")
        for n in range(int(body.get("count", 0))):
            upn = "%s-%d@contoso.com" % (prefix, n)
            state.add_user({"oid": "%s-oid-%d" % (prefix, n), "upn": upn, "name": "", "categories": [],
                            "mail": None if n % 7 == 3 else upn, "accountEnabled": n % 11 != 5})
        return 200, {}, {"users": len(state.users)}
    if path == "mailboxes" and method == "POST":
        return 200, {}, make_mailboxes(state, body)
    if path == "verify" and method == "POST":
        return 200, {}, verify_mailboxes(state, body)
    return 404, {}, {"error": "no such control"}
