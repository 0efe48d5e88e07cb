\\ Writes forms.tsv, the class-group rows of the quadratic-form tests:
\\   gp -q make-forms.gp > forms.tsv
\\ Rows (tab-separated; D is the positive magnitude of the discriminant -D):
\\   F D h genera fp   fundamental -D: class number, number of genera, fingerprint
\\   N D h fp          non-fundamental -D: every reduced form, primitive or not
\\   H delta h genera fp   primitive forms of determinant delta (discriminant -4 delta)
\\   C D a1 b1 c1 a2 b2 c2 a3 b3 c3   qfbred(qfbcomp(f1, f2)) = f3
\\   W m h count o1 o2 o3 a1 b1 c1 a2 b2 c2 a3 b3 c3   walk of key m by generators
\\       of the given orders (unused ones 0); discriminant -m if m = 3 (mod 8), else -4m
\\ fp: the sum over the reduced forms (a, b, c), twins included, of
\\ ((a*65537 + b)*65537 + c)^2 mod 1000000007.
setrand(20261206);
q = 1000000007;
fp(L) = lift(sum(i = 1, #L, my(v = Vec(L[i])); Mod((v[1]*65537 + v[2])*65537 + v[3], q)^2));
\\ The reduced form of every class of the order of discriminant d < 0, via
\\ PARI's class group structure, checked against qfbclassno.
classforms(d) = {
  my(G = quadclassunit(d), c = G.cyc, g = G.gen, one = qfbprimeform(d, 1), L);
  if (#c == 0, L = [qfbred(one)],
    L = List();
    forvec(e = vector(#c, i, [0, c[i] - 1]),
      my(f = one); for (i = 1, #c, f = qfbcomp(f, qfbpow(g[i], e[i]))); listput(L, qfbred(f)));
    L = Vec(L));
  if (#Set(L) != #L || #L != qfbclassno(d), error("class group of ", d));
  L;
}
genera(d) = 2^#select(x -> x % 2 == 0, quadclassunit(d).cyc);
keyD(m) = if (m % 4 == 3, m, 4 * m);
F(D) = { my(L = classforms(-D)); print("F\t", D, "\t", #L, "\t", genera(-D), "\t", fp(L)); }
\\ Fundamental keys up to 20000, then a random sample up to 2^25.
for (m = 1, 20000, my(D = keyD(m)); if (isfundamental(-D), F(D)));
n = 0; while (n < 40, my(D = keyD(20000 + random(2^25 - 20000))); if (isfundamental(-D), F(D); n++));
\\ Non-fundamental: the forms f*g for every f^2 | D and every class g of -D/f^2.
{
  for (D = 3, 4000, if (D % 4 == 0 || D % 4 == 3, if (!isfundamental(-D),
    my(L = []);
    fordiv(core(D, 1)[2], f, my(e = D / f^2); if (e % 4 == 0 || e % 4 == 3,
      L = concat(L, apply(g -> my(v = Vec(g)); Qfb(f * v[1], f * v[2], f * v[3]), classforms(-e)))));
    print("N\t", D, "\t", #L, "\t", fp(L)))));
}
H(t) = { my(L = classforms(-4 * t)); print("H\t", t, "\t", #L, "\t", genera(-4 * t), "\t", fp(L)); }
forstep (t = 3, 4000, 4, H(t));
for (i = 1, 20, H(4 * random(2^23) + 3));
\\ Compositions: random classes of a few discriminants, most near 2^25.
randclass(d) = {
  my(G = quadclassunit(d), f = qfbprimeform(d, 1));
  for (i = 1, #G.cyc, f = qfbcomp(f, qfbpow(G.gen[i], random(G.cyc[i])))); qfbred(f);
}
tabs(v) = my(s = ""); for (i = 1, #v, s = concat([s, "\t", Str(v[i])])); s;
{
  my(Ds = [23, 71, 420, 3299, keyD(20005), keyD(2^25 - 3), keyD(2^25 + 1), keyD(2^25 - 39), 33554467, 4 * 33554438]);
  for (k = 1, #Ds, my(d = -Ds[k]); if (isfundamental(d),
    for (i = 1, 25, my(f1 = randclass(d), f2 = randclass(d));
      print("C\t", -d, tabs(concat([Vec(f1), Vec(f2), Vec(qfbred(qfbcomp(f1, f2)))]))))));
}
\\ Walks: for a cyclic group the generator is the power g^e (e prime to h)
\\ with the largest a among a few, so that compositions meet large forms.
W(m) = {
  my(d = if (m % 8 == 3, -m, -4 * m), G = quadclassunit(d), c = G.cyc, g = vector(#c, i, qfbred(G.gen[i])));
  if (#c == 0 || #c > 3, return);
  if (#c == 1, for (i = 1, 30, my(e = random(c[1])); if (gcd(e, c[1]) == 1,
      my(f = qfbred(qfbpow(G.gen[1], e))); if (Vec(f)[1] > Vec(g[1])[1], g[1] = f))));
  my(o = concat(c, vector(3 - #c)), s = "");
  for (i = 1, 3, s = concat(s, if (i <= #c, tabs(Vec(g[i])), "\t0\t0\t0")));
  print("W\t", m, "\t", G.no, "\t", #c - 1, tabs(o), s);
}
{
  foreach ([3, 11, 19, 5, 14, 21, 105, 1155, 4199, 20003, 33554435, 33554467, 33554438, 33554393, 30030 * 1117],
    m, W(m));
  my(n = 0); while (n < 8, my(m = 20000 + random(2^25 - 20000)); if (issquarefree(m), W(m); n++));
}
