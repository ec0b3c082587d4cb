#!/usr/bin/env bash
# Regenerates the certificates the mail tests and the TLS benchmark use. Run by hand;
# the results are kept in this folder. The test CA signs a good certificate for
# localhost (valid for a century), one for another name and one that expired in 2001;
# a fourth certificate for localhost signs itself. All share one EC P-256 key.
set -euo pipefail
cd "$(dirname "$0")"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

openssl ecparam -name prime256v1 -genkey -noout -out "$work/ca.key"
openssl ecparam -name prime256v1 -genkey -noout -out server.key

mkdir -p "$work/db/new"
: > "$work/db/index.txt"
echo 1000 > "$work/db/serial"
cat > "$work/ca.cnf" <<CNF
[ca]
default_ca = test
[test]
dir = $work/db
database = \$dir/index.txt
serial = \$dir/serial
new_certs_dir = \$dir/new
default_md = sha256
policy = any
unique_subject = no
copy_extensions = copy
[any]
commonName = supplied
CNF

# Every certificate starts in 2020, so that a machine whose clock is behind still takes them.
from=20200101000000Z
until=21191231000000Z
openssl req -new -key "$work/ca.key" -subj "/CN=Pennaro Test CA" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" -out "$work/ca.csr"
openssl ca -batch -selfsign -config "$work/ca.cnf" -keyfile "$work/ca.key" -startdate $from -enddate $until \
    -notext -in "$work/ca.csr" -out ca.pem 2>/dev/null

sign() { # name subject-alt-names startdate enddate [-selfsign]
    openssl req -new -key server.key -subj "/CN=$1" -addext "subjectAltName=$2" \
        -addext "extendedKeyUsage=serverAuth" -out "$work/$1.csr"
    if [ "${5:-}" = -selfsign ]; then
        openssl ca -batch -selfsign -config "$work/ca.cnf" -keyfile server.key \
            -startdate "$3" -enddate "$4" -notext -in "$work/$1.csr" -out "$work/$1.pem" 2>/dev/null
    else
        openssl ca -batch -config "$work/ca.cnf" -cert ca.pem -keyfile "$work/ca.key" \
            -startdate "$3" -enddate "$4" -notext -in "$work/$1.csr" -out "$work/$1.pem" 2>/dev/null
    fi
}
sign localhost "DNS:localhost,IP:127.0.0.1,IP:::1" $from $until
cp "$work/localhost.pem" good.pem
sign mail.example.org "DNS:mail.example.org" $from $until
cp "$work/mail.example.org.pem" wrongname.pem
sign localhost "DNS:localhost,IP:127.0.0.1,IP:::1" 20000101000000Z 20010101000000Z
cp "$work/localhost.pem" expired.pem
sign localhost "DNS:localhost,IP:127.0.0.1,IP:::1" $from $until -selfsign
cp "$work/localhost.pem" selfsigned.pem
