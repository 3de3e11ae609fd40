# Sourced by the benchmarks that serve their files with nginx on 127.0.0.1.
#
#   bench_nginx_start FOLDER ROOT [DIRECTIVES]
# starts nginx in the background, with its configuration, log and temporary
# files in FOLDER, serving ROOT on a free port, and, when DIRECTIVES are
# given (such as "limit_rate 10m;"), ROOT again on the next port with them.
# With BENCH_NGINX_ACCESS_LOG set to a file, nginx logs each request's
# line there.  Sets bench_nginx_port and bench_nginx_pid; fails with nginx's error log
# on standard error when no port could be had.  The caller stops it:
#   kill "$bench_nginx_pid"
bench_nginx_try() {
  local folder=$1 root=$2 directives=$3 port=$4 second=""
  [ -n "$directives" ] && second="server { listen 127.0.0.1:$((port + 1)); root $root; $directives }"
  local access_log="access_log off;"
  [ -n "${BENCH_NGINX_ACCESS_LOG:-}" ] &&
    access_log="log_format lines '\$request'; access_log ${BENCH_NGINX_ACCESS_LOG} lines;"
  mkdir -p "$folder/temp"
  cat > "$folder/nginx.conf" << CONF
daemon off;
master_process off;
pid $folder/nginx.pid;
error_log $folder/error.log;
events { worker_connections 16; }
http {
  $access_log
  sendfile on;
  client_body_temp_path $folder/temp/body;
  proxy_temp_path $folder/temp/proxy;
  fastcgi_temp_path $folder/temp/fastcgi;
  uwsgi_temp_path $folder/temp/uwsgi;
  scgi_temp_path $folder/temp/scgi;
  default_type application/octet-stream;
  server { listen 127.0.0.1:$port; root $root; }
  $second
}
CONF
  "$(command -v nginx || echo /usr/sbin/nginx)" -p "$folder/" -c "$folder/nginx.conf" \
    -e "$folder/error.log" > /dev/null 2>&1 &
  bench_nginx_pid=$!
  # Up when the server answers at all (a 404 will do).
  for _ in $(seq 1 100); do
    curl -s -o /dev/null "http://127.0.0.1:$port/" && return 0
    kill -0 "$bench_nginx_pid" 2> /dev/null || return 1
    sleep 0.1
  done
  kill "$bench_nginx_pid" 2> /dev/null
  return 1
}

bench_nginx_start() {
  local folder=$1 root=$2 directives=${3:-}
  for _ in 1 2 3 4 5; do
    bench_nginx_port=$((20000 + RANDOM % 20000))
    bench_nginx_try "$folder" "$root" "$directives" "$bench_nginx_port" && return 0
  done
  echo "nginx did not start: $(cat "$folder/error.log" 2> /dev/null)" >&2
  return 1
}
