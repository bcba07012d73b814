"""The nginx configuration of the publisher's site (made by tools/publish_site.py).

melvora.conf holds three server blocks for nginx's http block; nginx.conf wraps it into a
whole configuration that runs from a folder of its own (nginx -p), for trying the site.
"""

import ipaddress
from pathlib import Path

# What the installer asks for, by role: exact locations whose answer is a file chosen by
# the partner id, and the fixed answer of the install log.
PER_PARTNER = {
    "product": ("/app/setup/setup.php", "/app/setup/setup.php/$melvora_pid.txt"),
    "stats": ("/app/ver.php", "/app/ver.php/$melvora_pid.txt"),
}

HEADER = """\
# The MELVORA publisher's site, made by tools/publish_site.py from {table}: change the
# table and make the site again rather than editing this file.
# Include it in nginx's http block (for instance as /etc/nginx/conf.d/melvora.conf).

# A partner id as the installer sends it; anything else finds no file (and a query
# value can never reach outside the site's folders).
map $arg_pid $melvora_pid {{
    "~^[A-Za-z0-9_~-]{{1,64}}$" $arg_pid;
    default "";
}}

# One JSON object per request; the log host's is the record of finished installs
# (tools/install_counts.py reads these logs).
log_format melvora_json escape=json
    '{{"time":"$time_iso8601","host":"$host","remote":"$remote_addr","user":"$remote_user",'
    '"method":"$request_method","request":"$request_uri","protocol":"$server_protocol",'
    '"status":$status,"bytes":$body_bytes_sent,"agent":"$http_user_agent"}}';
"""

COMMON = """\
    autoindex off;
    server_tokens off;
    # Downloads must carry Content-Length: never compress into a chunked reply.
    gzip off;
    types {
        text/plain txt ini;
        text/html html htm php;
        application/octet-stream exe dll;
    }
    default_type application/octet-stream;
    # Unknown partners and missing files: the installer reads "404 Not Found" as missing.
    error_page 404 /404.html;
    location = /404.html { internal; }
    # Files only: a folder is not found, never listed.
    location / { try_files $uri =404; }
"""

STANDALONE = """\
# A whole nginx configuration around melvora.conf, for trying the site on one machine:
#   mkdir -p <run folder>
#   nginx -p <run folder> -c {conf} -e <run folder>/error.log -g 'daemon off;'
# The run folder (which must exist) receives the pid file, the error log and nginx's
# temporary folders.
worker_processes 1;
pid nginx.pid;
error_log error.log;
events {{ worker_connections 256; }}
http {{
    client_body_temp_path client_body_temp;
    proxy_temp_path proxy_temp;
    fastcgi_temp_path fastcgi_temp;
    uwsgi_temp_path uwsgi_temp;
    scgi_temp_path scgi_temp;
    access_log off;
    sendfile on;
    include {servers};
}}
"""


def listen_of(host):
    """nginx's listen and server_name for a host or host:port of the build settings."""
    name, _, port = host.partition(":")
    port = port or "80"
    try:
        ipaddress.ip_address(name)
        return f"{name}:{port}", name   # an address: listen on it alone
    except ValueError:
        return port, name


class Config:
    def __init__(self, hosts, root, log_dir, realm):
        self.hosts, self.root, self.log_dir, self.realm = hosts, Path(root), Path(log_dir), realm

    def server(self, role):
        listen, name = listen_of(self.hosts[role])
        lines = [f"server {{   # {role} host",
                 f"    listen {listen};",
                 f"    server_name {name};",
                 f"    root {self.root / role};",
                 f"    access_log {self.log_dir / f'melvora-{role}.jsonl'} melvora_json;"]
        if role != "product":
            lines += [f'    auth_basic "{self.realm}";',
                      f"    auth_basic_user_file {self.root / 'nginx' / 'melvora.htpasswd'};"]
        text = "\n".join(lines) + "\n" + COMMON
        if role in PER_PARTNER:
            location, file = PER_PARTNER[role]
            text += f"    location = {location} {{\n        charset euc-kr;\n        try_files {file} =404;\n    }}\n"
        if role == "product":
            text += "    location = /Lisence/melvora_licence.txt { charset euc-kr; }\n"
        if role == "log":
            # The same id rule as the per-partner answers: an install log with an ill-formed
            # (or empty) id gets 404, which the installer ignores, and is never counted.
            text += ("    location = /app/receive/log.php {\n"
                     '        if ($melvora_pid = "") { return 404; }\n'
                     "        types { }\n        default_type text/plain;\n    }\n")
        return text + "}\n"

    def servers(self, table_name):
        return HEADER.format(table=table_name) + "".join("\n" + self.server(role) for role in self.hosts)

    def standalone(self):
        servers = self.root / "nginx" / "melvora.conf"
        return STANDALONE.format(conf=self.root / "nginx" / "nginx.conf", servers=servers)
