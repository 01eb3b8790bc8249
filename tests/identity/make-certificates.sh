#!/bin/bash
# Makes throwaway certificates for the application sign-in tests, once per
# build tree, in DIR (never in the sources: no private key is ever committed).
#   app.pfx       the app's certificate and key, sealed with the password in password.txt
#   nopass.pfx    the same, sealed with an empty password
#   other.pfx     another key and certificate, which the stand-in does not know
#   certonly.pfx  the app's certificate without its key
#   app.pem       the app's certificate, which the stand-in checks assertions against
#   app.x5t256    base64url SHA-256 of the certificate's DER, worked out by OpenSSL
# Usage: make-certificates.sh DIR
set -euo pipefail
dir="$1"
[ -f "$dir/.complete" ] && exit 0
rm -rf "$dir"
mkdir -p "$dir"
chmod 700 "$dir"
cd "$dir"
umask 077
# The password goes to OpenSSL through a file, never on a command line.
head -c 18 /dev/urandom | base64 | tr -d '\n/+=' >password.txt
openssl req -x509 -newkey rsa:2048 -nodes -keyout app.key -out app.pem -days 30 \
  -subj "/CN=Pellorin test app" 2>/dev/null
openssl req -x509 -newkey rsa:2048 -nodes -keyout other.key -out other.pem -days 30 \
  -subj "/CN=Pellorin test stranger" 2>/dev/null
openssl pkcs12 -export -inkey app.key -in app.pem -out app.pfx -passout file:password.txt
openssl pkcs12 -export -inkey app.key -in app.pem -out nopass.pfx -passout pass:
openssl pkcs12 -export -inkey other.key -in other.pem -out other.pfx -passout pass:
openssl pkcs12 -export -nokeys -in app.pem -out certonly.pfx -passout pass:
openssl x509 -in app.pem -outform der | openssl dgst -sha256 -binary | base64 | tr '+/' '-_' | tr -d '=\n' >app.x5t256
printf 'not a certificate\n' >notpfx.pfx
rm -f app.key other.key
touch .complete
