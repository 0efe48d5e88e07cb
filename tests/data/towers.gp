\\ Writes towers.tsv, keys whose class-group records take the subfield tower:
\\   gp -q towers.gp > towers.tsv
\\ Rows (tab-separated, hexadecimal upper case): T m D h N roots
\\ m: the key; D: -m when m = 3 (mod 8), else -4m (the order whose polclass
\\ the tower's invariant leads to); N: a prime with 4N = x^2 + |D| y^2, which
\\ splits completely in the ring class field; roots: the h roots of
\\ polclass(D) modulo N.
default(parisizemax, 1000000000);
setrand(20261207);
hex(n) = { my(s = "", d = "0123456789ABCDEF", n = lift(n));
  if (n == 0, return("0"));
  while (n > 0, s = concat(Strchr(Vecsmall(d)[n % 16 + 1]), s); n \= 16); s; }
splitprime(D) = {
  for (i = 1, 10^6, my(x = random(2^34), y = 1 + random(2^10), q = x^2 - D*y^2);
    if (q % 4 == 0 && q / 4 > 2^64 && isprime(q / 4), return(q / 4)));
}
print("# T m\tD\th\tN\troots of polclass(D) mod N");
{
  foreach ([41, 62, 94, 95, 111, 113, 137, 158, 178, 183, 226, 295, 299, 313, 371, 382,
            395, 466, 562, 579, 939, 979, 1299, 1731, 221, 469, 589, 1357, 3387, 1141, 1158,
            1106, 1634, 4574, 8609], m,
    my(D = if (m % 8 == 3, -m, -4*m), h = qfbclassno(D), N = splitprime(D),
       r = polrootsmod(polclass(D), N));
    if (#r != h, error("polclass(", D, ") does not split modulo ", N));
    print1("T\t", m, "\t", D, "\t", h, "\t", hex(N), "\t");
    for (i = 1, #r, print1(hex(r[i]), if (i < #r, ",", "")));
    print());
}
